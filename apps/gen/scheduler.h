// Runs the processors' programs against one shared memory, interleaved by a
// seeded scheduler, and takes the scans.
#pragma once

#include <vector>

#include "gen/config.h"
#include "gen/random.h"
#include "gen/run_model.h"

namespace qirn_gen {

struct Schedule {
  std::vector<ScanRow> scans;
  std::vector<LockViolation> planted;  // in the order they were planted
};

// Fills the times of every operation and the value of every load, and returns
// the scans, the last of which is taken once every operation has completed.
//
// Each tick one processor does one thing: issue its next operation (at most
// kPipelineDepth may be outstanding), let its oldest issued operation take
// effect, or complete its oldest operation that took effect; under TSO and
// PSO also drain a buffered store to memory. Effects and completions follow
// program order. Under SC the effects form one sequentially consistent
// order: a load returns what memory holds at its effect. With buffers a
// store leaves the pipeline into its processor's buffer and takes effect when
// it drains, which it does in program order (TSO) or in program order per
// address (PSO and WMO), at a tick drawn like every other step; a load
// returns its processor's newest buffered store to its address, or else
// memory. A store completes once it reached memory, so a completed store is
// in memory. An RMW takes effect once its processor's buffer is empty (under
// WMO: holds no store to its address), reading memory and writing its value
// in that one tick; it never enters the buffer. Under WMO a load or an RMW
// may take effect ahead of earlier operations of its processor that have not,
// if none of them is a fence or lock operation or accesses its address; the
// one to take effect is drawn among those that may.
// Lock operations and fences wait until every earlier operation of their
// processor has completed, which drains the buffer, and complete at once;
// an acquire moreover waits until its lock is free.
//
// With config.lockViolations, the blocks of lock_block are inserted into the
// programs at moments spread over the run and run there (see plant in
// scheduler.cpp), each store drained at once; their stale loads still return
// what memory held, and `planted` says which loads to alter. Those that find
// no two idle processors or no free lock before the end are planted after it.
Schedule schedule(std::vector<Program>& programs, const GenConfig& config, SplitMix64& rng);

}  // namespace qirn_gen
