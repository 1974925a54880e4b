// Runs the processors' programs against one shared memory, interleaved by a
// seeded scheduler, and takes the scans.
#pragma once

#include <vector>

#include "gen/config.h"
#include "gen/random.h"
#include "gen/run_model.h"

namespace qirn_gen {

// Fills the times of every operation and the value of every load, and returns
// the scans, the last of which is taken once every operation has completed.
//
// Each tick one processor does one of three things: issue its next operation
// (at most kPipelineDepth may be outstanding), let its oldest issued operation
// take effect, or complete its oldest operation that took effect. Effects and
// completions follow program order, so the effects form one sequentially
// consistent order: a load returns what memory holds at its effect. Lock
// operations act as fences: one takes effect only once every earlier
// operation of its processor has completed, and completes at once; an
// acquire moreover waits until its lock is free.
std::vector<ScanRow> schedule(std::vector<Program>& programs, const GenConfig& config,
                              SplitMix64& rng);

}  // namespace qirn_gen
