#include "shrink/reducer.h"

#include <algorithm>
#include <map>

namespace qirn_shrink {
namespace {

using Kind = Operation::Kind;

// Pairs each acquire with the next release of its lock; returns the
// processor's units in order of their first operation.
std::vector<Unit> processor_small_units(const Processor& processor, int p) {
  const auto& operations = processor.operations;
  std::vector<int> partner(operations.size(), -1);
  std::map<int, std::vector<int>> open;  // lock -> acquires still waiting
  for (int i = 0; i < static_cast<int>(operations.size()); ++i) {
    const Operation& op = operations[i];
    if (op.lock < 0) continue;
    auto& waiting = open[op.lock];
    if (op.kind == Kind::Acquire) {
      waiting.push_back(i);
    } else if (!waiting.empty()) {
      partner[waiting.back()] = i;
      partner[i] = waiting.back();
      waiting.pop_back();
    }
  }
  std::vector<Unit> units;
  for (int i = 0; i < static_cast<int>(operations.size()); ++i) {
    if (partner[i] >= 0 && partner[i] < i) continue;
    Unit unit{{{p, i}}};
    if (partner[i] >= 0) unit.operations.emplace_back(p, partner[i]);
    units.push_back(std::move(unit));
  }
  return units;
}

class Reducer {
 public:
  Reducer(const TraceSet& set, const ReducerHooks& hooks)
      : hooks_(hooks),
        removal_(set),
        current_(select_all(set)),
        processors_(processor_units(set)),
        small_(small_units(set)) {}

  Selection run() {
    bool changed = true;
    while (changed && !hooks_.out_of_time()) {
      changed = pass(processors_, 1);
      const size_t live = count_live(small_);
      for (size_t chunk = std::max<size_t>(live / 2, 1);; chunk /= 2) {
        changed = pass(small_, chunk) || changed;
        if (chunk == 1) break;
      }
    }
    return current_;
  }

 private:
  bool alive(const Unit& unit) const {
    return std::any_of(unit.operations.begin(), unit.operations.end(),
                       [&](const auto& op) { return current_[op.first][op.second]; });
  }

  size_t count_live(const std::vector<Unit>& units) const {
    return static_cast<size_t>(
        std::count_if(units.begin(), units.end(), [&](const Unit& u) { return alive(u); }));
  }

  // Tries to remove each run of `chunk` live units in turn; true when some
  // removal was kept.
  bool pass(const std::vector<Unit>& units, size_t chunk) {
    std::vector<const Unit*> live;
    for (const Unit& unit : units) {
      if (alive(unit)) live.push_back(&unit);
    }
    bool changed = false;
    for (size_t i = 0; i < live.size() && !hooks_.out_of_time();) {
      const size_t end = std::min(live.size(), i + chunk);
      if (try_without(live.begin() + i, live.begin() + end)) {
        live.erase(live.begin() + i, live.begin() + end);
        changed = true;
      } else {
        i = end;
      }
    }
    return changed;
  }

  template <typename It>
  bool try_without(It first, It last) {
    Selection candidate = current_;
    for (It it = first; it != last; ++it) removal_.remove(candidate, **it);
    if (kept_operations(candidate) == 0 || !hooks_.keeps_verdict(candidate)) return false;
    current_ = std::move(candidate);
    hooks_.progress(current_);
    return true;
  }

  const ReducerHooks& hooks_;
  Removal removal_;
  Selection current_;
  std::vector<Unit> processors_;
  std::vector<Unit> small_;
};

}  // namespace

Removal::Removal(const TraceSet& set) {
  std::map<std::pair<int, int>, std::vector<std::pair<int, int>>> loads;  // (addr, value read)
  for (int p = 0; p < static_cast<int>(set.processors.size()); ++p) {
    const auto& operations = set.processors[p].operations;
    readers_.emplace_back(operations.size());
    for (int i = 0; i < static_cast<int>(operations.size()); ++i) {
      const Operation& op = operations[i];
      if (op.kind == Kind::Load) loads[{op.addr, op.value}].emplace_back(p, i);
      if (op.kind == Kind::Rmw) loads[{op.addr, op.read}].emplace_back(p, i);
    }
  }
  for (int p = 0; p < static_cast<int>(set.processors.size()); ++p) {
    const auto& operations = set.processors[p].operations;
    for (int i = 0; i < static_cast<int>(operations.size()); ++i) {
      if (operations[i].kind != Kind::Store && operations[i].kind != Kind::Rmw) continue;
      const auto found = loads.find({operations[i].addr, operations[i].value});
      if (found == loads.end()) continue;
      for (const auto& reader : found->second) {
        if (reader != std::pair(p, i)) readers_[p][i].push_back(reader);
      }
    }
  }
}

void Removal::remove(Selection& selection, const Unit& unit) const {
  for (const auto& [p, i] : unit.operations) remove_with_readers(selection, p, i);
}

// An RMW that goes takes its own readers along.
void Removal::remove_with_readers(Selection& selection, int p, int i) const {
  selection[p][i] = false;
  for (const auto& [q, j] : readers_[p][i]) {
    if (selection[q][j]) remove_with_readers(selection, q, j);
  }
}

std::vector<Unit> processor_units(const TraceSet& set) {
  std::vector<Unit> units;
  for (int p = 0; p < static_cast<int>(set.processors.size()); ++p) {
    Unit unit;
    for (int i = 0; i < static_cast<int>(set.processors[p].operations.size()); ++i) {
      unit.operations.emplace_back(p, i);
    }
    if (!unit.operations.empty()) units.push_back(std::move(unit));
  }
  return units;
}

std::vector<Unit> small_units(const TraceSet& set) {
  std::vector<Unit> units;
  for (int p = 0; p < static_cast<int>(set.processors.size()); ++p) {
    for (Unit& unit : processor_small_units(set.processors[p], p)) units.push_back(std::move(unit));
  }
  return units;
}

Selection reduce(const TraceSet& set, const ReducerHooks& hooks) {
  return Reducer(set, hooks).run();
}

}  // namespace qirn_shrink
