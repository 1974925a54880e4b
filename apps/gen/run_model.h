// What a simulated run produces: the operations of every processor with
// their times, the scans taken during the run, the loads that were made to
// return a stale value, the lock violations planted into it and the
// read-modify-writes made to read what another one read.
#pragma once

#include <cstdint>
#include <vector>

#include "gen/config.h"

namespace qirn_gen {

enum class OpKind { Load, Store, Acquire, Release, Fence, Rmw };

// Times are ticks of the global clock; every tick carries exactly one event
// of one processor, so no two events share a time.
//
// Under TSO, PSO and WMO a store takes effect when it leaves the store buffer and
// reaches memory (its drain); it entered the buffer at `buffered`, which
// under SC is its effect. A load takes effect when it reads: its own
// processor's newest buffered store to its address when there is one
// (`forwarded`), memory otherwise. A read-modify-write (RMW) reads memory and
// writes it in one step, its effect, with its processor's buffer empty; its
// `buffered` is its effect. Under WMO loads and RMWs may take effect out of
// program order, but never before they were issued.
struct GenOp {
  OpKind kind = OpKind::Load;
  int32_t target = 0;  // address of an access, lock number of an acquire or release
  int32_t value = 0;   // value written or read; 0 for lock operations and fences
  int32_t read = 0;    // the value an RMW read; its `value` is the one it wrote
  int64_t issued = 0;
  int64_t buffered = 0;  // stores: the moment the store left its processor for the buffer;
                         // RMWs: their effect
  int64_t effect = 0;    // the moment the operation takes effect on memory or on its lock
  int64_t completed = 0;
  bool forwarded = false;  // a load that read its own processor's buffered store
  bool planted = false;    // part of a planted lock violation, which other injections leave alone
};

using Program = std::vector<GenOp>;

// One global scan: per processor, how many of its operations had completed
// (lb) and how many had been issued (ub) once the event of `tick` was done.
struct ScanRow {
  int64_t tick = 0;
  std::vector<int32_t> lb;
  std::vector<int32_t> ub;
};

struct InjectedLoad {
  int32_t proc = 0;
  int32_t seq = 0;
  int32_t faithful = 0;  // the value the load read when it took effect
  int32_t stale = 0;     // the older value written into the trace instead
};

// An RMW made to read the value that an earlier RMW of its address read, so
// that two RMWs read the same store (or both the initial 0). `load` holds the
// changed RMW and its reads: `faithful` the one of the run, `stale` that of
// the other RMW, operation pairSeq of processor pairProc.
struct RmwViolation {
  InjectedLoad load;
  int32_t pairProc = 0;
  int32_t pairSeq = 0;
};

enum class LockViolationKind {
  StaleSession,  // overwritten in a later session of the lock than the one that wrote it
  MidSession,    // overwritten in the session that wrote it
};

// A load in a session of `lock` that returns a value which the store
// `overwrite` of processor `writer`, in a session of the same lock, overwrote
// before that load in every order the lock allows.
struct LockViolation {
  LockViolationKind kind = LockViolationKind::StaleSession;
  int32_t lock = 0;
  int32_t writer = 0;
  int32_t overwrite = 0;  // sequence number of the overwriting store on `writer`
  InjectedLoad load;
};

struct GeneratedRun {
  MemoryModel model = MemoryModel::SC;  // the model it was simulated under
  std::vector<Program> programs;
  std::vector<ScanRow> scans;
  std::vector<InjectedLoad> injected;
  bool injectedTimed = false;  // injected holds -t's time-proven stale loads, not -v's
  std::vector<LockViolation> lockViolations;
  std::vector<RmwViolation> rmwViolations;
};

inline bool is_lock_op(const GenOp& op) {
  return op.kind == OpKind::Acquire || op.kind == OpKind::Release;
}

// A load, a store or an RMW: neither a lock operation nor a fence.
inline bool is_access(const GenOp& op) {
  return op.kind == OpKind::Load || op.kind == OpKind::Store || op.kind == OpKind::Rmw;
}

// A store or an RMW: an access that writes a value of its own.
inline bool writes(const GenOp& op) {
  return op.kind == OpKind::Store || op.kind == OpKind::Rmw;
}

}  // namespace qirn_gen
