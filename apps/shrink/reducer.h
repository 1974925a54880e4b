// Delta debugging over a trace set: whole processors, lock sessions and
// single operations are removed while a test still says the verdict holds.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "shrink/trace_set.h"

namespace qirn_shrink {

// Operations that are removed together, as (processor, index) pairs.
struct Unit {
  std::vector<std::pair<int, int>> operations;
};

// One unit per processor that has operations.
std::vector<Unit> processor_units(const TraceSet& set);

// The lock sessions (an acquire and the next release of its lock on the same
// processor) and every other operation alone, ordered by processor and then
// by first operation. Acquires and releases are never units on their own
// unless they have no partner.
std::vector<Unit> small_units(const TraceSet& set);

// Takes units out of a selection. A store or RMW goes together with the loads
// and RMWs that read its value (same address and value), so no kept load is
// left reading a value that no kept store wrote.
class Removal {
 public:
  explicit Removal(const TraceSet& set);
  void remove(Selection& selection, const Unit& unit) const;

 private:
  void remove_with_readers(Selection& selection, int p, int i) const;

  // readers_[p][i]: the loads and RMWs that read the value of store or RMW i
  // of processor p.
  std::vector<std::vector<std::vector<std::pair<int, int>>>> readers_;
};

struct ReducerHooks {
  // True when the candidate keeps the verdict kind.
  std::function<bool(const Selection&)> keeps_verdict;
  // True once no further candidate may be tried.
  std::function<bool()> out_of_time = [] { return false; };
  // Told of every accepted smaller set.
  std::function<void(const Selection&)> progress = [](const Selection&) {};
};

// Starts from every operation and removes units, large chunks first, until
// removing any single unit alone loses the verdict (or time runs out). The
// result always keeps the verdict; the order of tries is fixed, so the same
// answers give the same result.
Selection reduce(const TraceSet& set, const ReducerHooks& hooks);

}  // namespace qirn_shrink
