// Lock violations planted into a simulated run: a few sessions, added on
// two processors, after which a load in a session of some lock returns a
// value that the lock itself proves overwritten, whatever order of its
// sessions and stores a checker picks.
#pragma once

#include <cstdint>
#include <vector>

#include "gen/config.h"
#include "gen/random.h"
#include "gen/run_model.h"

namespace qirn_gen {

// What one violation adds: the writer's operations, run first on one
// processor, then the reader's, run on another. Loads get their values
// from the simulation; the one at `staleLoad` is to be given `stale` after it.
struct LockBlock {
  LockViolationKind kind = LockViolationKind::StaleSession;
  Program writer;
  Program reader;
  int32_t overwrite = 0;  // index in `writer` of the store that overwrites `stale`
  int32_t staleLoad = 0;  // index in `reader`
  int32_t stale = 0;
};

// The block of one kind on `lock`, using two different addresses, `address`
// for the stale value and `other` for the read that orders the reader after
// the writer; its stores write firstValue, firstValue + 1 and firstValue + 2.
LockBlock lock_block(LockViolationKind kind, int32_t lock, int32_t address, int32_t other,
                     int32_t firstValue);

// When the violations are due and of which kind. A run can hold them only
// with two processors, a lock and two addresses; otherwise none is planned
// and nothing is drawn from the generator.
class LockViolationPlan {
 public:
  // Due points are spread uniformly over the `steps` steps of the run; the
  // first kind is drawn, and the kinds then alternate.
  LockViolationPlan(const GenConfig& config, int64_t steps, SplitMix64& rng);

  bool pending() const { return next_ < dueSteps_.size(); }
  bool due(int64_t step) const { return pending() && dueSteps_[next_] <= step; }
  // The kind of the next violation, which counts as planted from now on.
  LockViolationKind take();

 private:
  std::vector<int64_t> dueSteps_;
  size_t next_ = 0;
  bool staleFirst_ = true;
};

// Gives every planted stale load its stale value.
void alter_stale_loads(std::vector<Program>& programs, const std::vector<LockViolation>& planted);

}  // namespace qirn_gen
