#include "gen/inject.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <utility>

namespace qirn_gen {
namespace {

struct LoadHistory {
  int32_t proc = 0;
  int32_t seq = 0;
  int32_t address = 0;
  size_t position = 0;  // index of the value the load read in its address's history
};

struct Replay {
  std::map<int32_t, std::vector<int32_t>> history;  // per address: 0, then values in effect order
  std::vector<LoadHistory> loads;                   // loads with at least one older value
};

// Walks the loads and stores in the order they took effect.
Replay replay_effects(const std::vector<Program>& programs) {
  std::vector<std::pair<int64_t, std::pair<int32_t, int32_t>>> order;
  for (size_t p = 0; p < programs.size(); ++p) {
    for (size_t s = 0; s < programs[p].size(); ++s) {
      if (is_lock_op(programs[p][s])) continue;
      order.push_back({programs[p][s].effect, {static_cast<int32_t>(p), static_cast<int32_t>(s)}});
    }
  }
  std::sort(order.begin(), order.end());
  Replay replay;
  for (const auto& [effect, at] : order) {
    const GenOp& op = programs[at.first][at.second];
    std::vector<int32_t>& values = replay.history.try_emplace(op.target, 1, 0).first->second;
    if (op.kind == OpKind::Store) {
      values.push_back(op.value);
      continue;
    }
    if (values.back() != op.value) throw std::logic_error("inject: load does not match memory");
    if (values.size() > 1) {
      replay.loads.push_back({at.first, at.second, op.target, values.size() - 1});
    }
  }
  return replay;
}

}  // namespace

std::vector<InjectedLoad> inject_violations(std::vector<Program>& programs, int32_t count,
                                            SplitMix64& rng) {
  if (count <= 0) return {};
  Replay replay = replay_effects(programs);
  std::vector<LoadHistory>& loads = replay.loads;
  const size_t chosen = std::min(loads.size(), static_cast<size_t>(count));
  for (size_t i = 0; i < chosen; ++i) {
    std::swap(loads[i], loads[i + rng.below(static_cast<uint64_t>(loads.size() - i))]);
  }
  std::vector<InjectedLoad> injected;
  for (size_t i = 0; i < chosen; ++i) {
    const LoadHistory& load = loads[i];
    const std::vector<int32_t>& values = replay.history[load.address];
    GenOp& op = programs[load.proc][load.seq];
    const int32_t stale = values[rng.below(static_cast<uint64_t>(load.position))];
    injected.push_back({load.proc, load.seq, op.value, stale});
    op.value = stale;
  }
  std::sort(injected.begin(), injected.end(), [](const InjectedLoad& a, const InjectedLoad& b) {
    return std::pair(a.proc, a.seq) < std::pair(b.proc, b.seq);
  });
  return injected;
}

}  // namespace qirn_gen
