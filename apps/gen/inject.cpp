#include "gen/inject.h"

#include <algorithm>
#include <map>
#include <set>
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
  std::map<int32_t, std::vector<std::pair<int32_t, int32_t>>> writers;  // the store of each value
  std::vector<LoadHistory> loads;  // loads with at least one older value, planted ones left out
};

// Walks the accesses in the order they took effect: the order they reached
// memory or read it. Loads that read their own processor's buffered store
// are left out.
Replay replay_effects(const std::vector<Program>& programs) {
  std::vector<std::pair<int64_t, std::pair<int32_t, int32_t>>> order;
  for (size_t p = 0; p < programs.size(); ++p) {
    for (size_t s = 0; s < programs[p].size(); ++s) {
      if (!is_access(programs[p][s]) || programs[p][s].forwarded) continue;
      order.push_back({programs[p][s].effect, {static_cast<int32_t>(p), static_cast<int32_t>(s)}});
    }
  }
  std::sort(order.begin(), order.end());
  Replay replay;
  for (const auto& [effect, at] : order) {
    const GenOp& op = programs[at.first][at.second];
    std::vector<int32_t>& values = replay.history.try_emplace(op.target, 1, 0).first->second;
    auto& writers = replay.writers.try_emplace(op.target, 1, std::pair(-1, -1)).first->second;
    const int32_t read = op.kind == OpKind::Rmw ? op.read : op.value;
    if (op.kind != OpKind::Store && values.back() != read) {
      throw std::logic_error("inject: read does not match memory");
    }
    if (writes(op)) {
      values.push_back(op.value);
      writers.push_back(at);
      continue;
    }
    if (values.size() > 1 && !op.planted) {
      replay.loads.push_back({at.first, at.second, op.target, values.size() - 1});
    }
  }
  return replay;
}

// The older positions of a load's address history whose value the time
// bounds prove overwritten before the load was issued: the store that
// overwrote it was seen completed by a scan that had not yet seen the load
// issued, and the overwritten value is the initial one, or its store came
// before the overwriting one in program order or by such a scan too.
std::vector<size_t> time_proven_stale(const Replay& replay, const LoadHistory& load,
                                      const std::vector<ScanRow>& scans) {
  const auto& writers = replay.writers.at(load.address);
  const std::pair load_at(load.proc, load.seq);
  std::vector<size_t> positions;
  for (size_t i = 0; i < load.position; ++i) {
    const auto older = writers[i];
    const auto newer = writers[i + 1];
    if (!scan_proves(scans, newer, load_at)) continue;
    const bool ordered = i == 0 || (older.first == newer.first && older.second < newer.second) ||
                         scan_proves(scans, older, newer);
    if (ordered) positions.push_back(i);
  }
  return positions;
}

using Position = std::pair<int32_t, int32_t>;  // processor, sequence number

// Per address, its RMWs in the order they took effect.
std::map<int32_t, std::vector<Position>> rmws_by_address(const std::vector<Program>& programs) {
  std::map<int32_t, std::vector<std::pair<int64_t, Position>>> timed;
  for (int32_t p = 0; p < static_cast<int32_t>(programs.size()); ++p) {
    for (int32_t s = 0; s < static_cast<int32_t>(programs[p].size()); ++s) {
      const GenOp& op = programs[p][s];
      if (op.kind == OpKind::Rmw) timed[op.target].push_back({op.effect, {p, s}});
    }
  }
  std::map<int32_t, std::vector<Position>> ordered;
  for (auto& [address, rmws] : timed) {
    std::sort(rmws.begin(), rmws.end());
    for (const auto& [effect, at] : rmws) ordered[address].push_back(at);
  }
  return ordered;
}

// Moves `count` randomly chosen entries to the front.
template <typename T>
size_t choose_front(std::vector<T>& items, int32_t count, SplitMix64& rng) {
  const size_t chosen = std::min(items.size(), static_cast<size_t>(count));
  for (size_t i = 0; i < chosen; ++i) {
    std::swap(items[i], items[i + rng.below(static_cast<uint64_t>(items.size() - i))]);
  }
  return chosen;
}

const InjectedLoad& changed(const InjectedLoad& load) {
  return load;
}
const InjectedLoad& changed(const RmwViolation& violation) {
  return violation.load;
}

template <typename T>
void sort_by_position(std::vector<T>& injected) {
  std::sort(injected.begin(), injected.end(), [](const T& a, const T& b) {
    return std::pair(changed(a).proc, changed(a).seq) < std::pair(changed(b).proc, changed(b).seq);
  });
}

// One of the RMWs before `rmw` in its address's effect order that are not
// picked themselves, drawn.
Position draw_partner(const std::vector<Position>& rmws, Position rmw,
                      const std::set<Position>& picked, SplitMix64& rng) {
  std::vector<Position> earlier;
  for (auto at = rmws.begin(); *at != rmw; ++at) {
    if (picked.count(*at) == 0) earlier.push_back(*at);
  }
  return earlier[rng.below(static_cast<uint64_t>(earlier.size()))];
}

}  // namespace

// Whether one scan saw operation a completed and operation b not yet issued.
// Rows only grow, so the first row that saw a completed is the one to ask;
// it is found by bisection, as the rows before it are exactly those whose
// bound for a's processor has not passed a.
bool scan_proves(const std::vector<ScanRow>& scans, std::pair<int32_t, int32_t> a,
                 std::pair<int32_t, int32_t> b) {
  const auto first = std::partition_point(
      scans.begin(), scans.end(), [&](const ScanRow& row) { return a.second >= row.lb[a.first]; });
  return first != scans.end() && b.second >= first->ub[b.first];
}

std::vector<InjectedLoad> inject_timed_violations(std::vector<Program>& programs,
                                                  const std::vector<ScanRow>& scans, int32_t count,
                                                  SplitMix64& rng) {
  if (count <= 0) return {};
  Replay replay = replay_effects(programs);
  std::vector<std::pair<LoadHistory, std::vector<size_t>>> candidates;
  for (const LoadHistory& load : replay.loads) {
    std::vector<size_t> positions = time_proven_stale(replay, load, scans);
    if (!positions.empty()) candidates.push_back({load, std::move(positions)});
  }
  const size_t chosen = choose_front(candidates, count, rng);
  std::vector<InjectedLoad> injected;
  for (size_t i = 0; i < chosen; ++i) {
    const auto& [load, positions] = candidates[i];
    GenOp& op = programs[load.proc][load.seq];
    const size_t pick = positions[rng.below(static_cast<uint64_t>(positions.size()))];
    const int32_t stale = replay.history[load.address][pick];
    injected.push_back({load.proc, load.seq, op.value, stale});
    op.value = stale;
  }
  sort_by_position(injected);
  return injected;
}

std::vector<InjectedLoad> inject_own_stale(std::vector<Program>& programs, int32_t count,
                                           SplitMix64& rng) {
  if (count <= 0) return {};
  struct Candidate {
    int32_t proc;
    int32_t seq;
    std::vector<int32_t> older;  // 0, then the values the processor wrote before its newest
  };
  std::vector<Candidate> candidates;
  for (int32_t p = 0; p < static_cast<int32_t>(programs.size()); ++p) {
    std::map<int32_t, std::vector<int32_t>> stored;  // per address, the values in program order
    for (int32_t s = 0; s < static_cast<int32_t>(programs[p].size()); ++s) {
      const GenOp& op = programs[p][s];
      if (writes(op)) stored[op.target].push_back(op.value);
      if (op.kind != OpKind::Load || op.planted) continue;
      const auto own = stored.find(op.target);
      if (own == stored.end()) continue;
      std::vector<int32_t> older = {0};
      older.insert(older.end(), own->second.begin(), own->second.end() - 1);
      candidates.push_back({p, s, std::move(older)});
    }
  }
  const size_t chosen = choose_front(candidates, count, rng);
  std::vector<InjectedLoad> injected;
  for (size_t i = 0; i < chosen; ++i) {
    const Candidate& load = candidates[i];
    GenOp& op = programs[load.proc][load.seq];
    const int32_t stale = load.older[rng.below(static_cast<uint64_t>(load.older.size()))];
    injected.push_back({load.proc, load.seq, op.value, stale});
    op.value = stale;
  }
  sort_by_position(injected);
  return injected;
}

std::vector<InjectedLoad> inject_violations(std::vector<Program>& programs, int32_t count,
                                            SplitMix64& rng) {
  if (count <= 0) return {};
  Replay replay = replay_effects(programs);
  std::vector<LoadHistory>& loads = replay.loads;
  const size_t chosen = choose_front(loads, count, rng);
  std::vector<InjectedLoad> injected;
  for (size_t i = 0; i < chosen; ++i) {
    const LoadHistory& load = loads[i];
    const std::vector<int32_t>& values = replay.history[load.address];
    GenOp& op = programs[load.proc][load.seq];
    const int32_t stale = values[rng.below(static_cast<uint64_t>(load.position))];
    injected.push_back({load.proc, load.seq, op.value, stale});
    op.value = stale;
  }
  sort_by_position(injected);
  return injected;
}

std::vector<RmwViolation> inject_rmw_violations(std::vector<Program>& programs, int32_t count,
                                                SplitMix64& rng) {
  if (count <= 0) return {};
  const std::map<int32_t, std::vector<Position>> byAddress = rmws_by_address(programs);
  std::vector<Position> candidates;
  for (const auto& [address, rmws] : byAddress) {
    candidates.insert(candidates.end(), rmws.begin() + 1, rmws.end());
  }
  const size_t chosen = choose_front(candidates, count, rng);
  const std::set<Position> picked(candidates.begin(), candidates.begin() + chosen);
  std::vector<RmwViolation> injected;
  for (size_t i = 0; i < chosen; ++i) {
    const auto [p, s] = candidates[i];
    GenOp& op = programs[p][s];
    const Position pair = draw_partner(byAddress.at(op.target), candidates[i], picked, rng);
    const int32_t stale = programs[pair.first][pair.second].read;
    injected.push_back({{p, s, op.read, stale}, pair.first, pair.second});
    op.read = stale;
  }
  sort_by_position(injected);
  return injected;
}

}  // namespace qirn_gen
