// The program every processor runs: loads, stores and RMWs of random
// addresses, part of them grouped into lock sessions, some followed by a
// fence.
#pragma once

#include <vector>

#include "gen/config.h"
#include "gen/random.h"
#include "gen/run_model.h"

namespace qirn_gen {

// Stores and RMWs get the values 1, 2, 3, ... in the order they are built,
// so every value is written once. The values loads and RMWs read, and the
// times, are left for the scheduler.
std::vector<Program> build_programs(const GenConfig& config, SplitMix64& rng);

}  // namespace qirn_gen
