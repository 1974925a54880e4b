#include "gen/lock_violations.h"

#include <algorithm>

namespace qirn_gen {
namespace {

GenOp planted(OpKind kind, int32_t target, int32_t value = 0) {
  return GenOp{.kind = kind, .target = target, .value = value, .planted = true};
}

GenOp acquire(int32_t lock) {
  return planted(OpKind::Acquire, lock);
}
GenOp release(int32_t lock) {
  return planted(OpKind::Release, lock);
}
GenOp store(int32_t address, int32_t value) {
  return planted(OpKind::Store, address, value);
}
GenOp load(int32_t address) {
  return planted(OpKind::Load, address);
}

// Writer p: S0 = acquire L, store a v1, release L; then S = acquire L,
// store a v2, store b x, release L. Reader q: T = acquire L, load b, load a,
// release L, run after the writer, so that the load of b returns x and the
// load of a v2, which becomes v1.
//
// Why no order explains it: S0 and S are sessions of L on one processor, so
// S0 ends before S begins, and v1 is stored before v2. T's load of b returns
// x, which S stores; were T before S, that load would come before S's
// acquire and so before x was stored. So T follows the whole of S: v2 is
// stored before T's acquire, hence before T's load of a, and between the
// store of v1 and that load, which cannot return v1. With all of program
// order kept and no lock rule at all, as under SC and PC, the chain store
// of v2, store of x, load of x, load of a reaches the same end.
LockBlock stale_session(int32_t lock, int32_t a, int32_t b, int32_t v1) {
  return {.kind = LockViolationKind::StaleSession,
          .writer = {acquire(lock), store(a, v1), release(lock), acquire(lock), store(a, v1 + 1),
                     store(b, v1 + 2), release(lock)},
          .reader = {acquire(lock), load(b), load(a), release(lock)},
          .overwrite = 4,
          .staleLoad = 2,
          .stale = v1};
}

// Writer p: S = acquire L, store a v1, store a v2, release L; then store c y
// outside any session. Reader q: load c outside any session, then
// T = acquire L, load a, release L, run after the writer, so that the load
// of c returns y and the load of a v2, which becomes v1.
//
// Why no order explains it: T's load of a returns v1, which S stores; were
// T before S, that load would come before S's acquire and so before v1 was
// stored. So T follows the whole of S, and v2, stored after v1 by the same
// processor to the same address, comes before T's acquire and so between
// the store of v1 and the load that returns it. The accesses of c lie
// outside every session, so the lock rules order them only with accesses of
// c on their own processors, none of which is in the sessions here: the
// session order alone proves the violation. They are there for the models
// that keep all of program order without a lock rule, SC and PC, where the
// chain store of v2, store of y, load of y, load of a proves it.
LockBlock mid_session(int32_t lock, int32_t a, int32_t c, int32_t v1) {
  return {
      .kind = LockViolationKind::MidSession,
      .writer = {acquire(lock), store(a, v1), store(a, v1 + 1), release(lock), store(c, v1 + 2)},
      .reader = {load(c), acquire(lock), load(a), release(lock)},
      .overwrite = 2,
      .staleLoad = 2,
      .stale = v1};
}

bool can_hold_violations(const GenConfig& config) {
  return config.processors >= 2 && config.locks >= 1 && config.addresses >= 2;
}

}  // namespace

LockBlock lock_block(LockViolationKind kind, int32_t lock, int32_t address, int32_t other,
                     int32_t firstValue) {
  return kind == LockViolationKind::StaleSession ? stale_session(lock, address, other, firstValue)
                                                 : mid_session(lock, address, other, firstValue);
}

LockViolationPlan::LockViolationPlan(const GenConfig& config, int64_t steps, SplitMix64& rng) {
  if (config.lockViolations <= 0 || !can_hold_violations(config)) return;
  for (int32_t i = 0; i < config.lockViolations; ++i) {
    dueSteps_.push_back(1 + static_cast<int64_t>(rng.below(static_cast<uint64_t>(steps))));
  }
  std::sort(dueSteps_.begin(), dueSteps_.end());
  staleFirst_ = rng.percent(50);
}

LockViolationKind LockViolationPlan::take() {
  const bool stale = (next_++ % 2 == 0) == staleFirst_;
  return stale ? LockViolationKind::StaleSession : LockViolationKind::MidSession;
}

void alter_stale_loads(std::vector<Program>& programs, const std::vector<LockViolation>& planted) {
  for (const LockViolation& violation : planted) {
    programs[violation.load.proc][violation.load.seq].value = violation.load.stale;
  }
}

}  // namespace qirn_gen
