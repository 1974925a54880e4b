// The lines qirn-gen prints after writing its files.
#pragma once

#include <string>

#include "gen/config.h"
#include "gen/run_model.h"

namespace qirn_gen {

// One line with the seed (and the model, when it is TSO or PSO) and the
// sizes of the run (with the fences, when --fences asked for some, and the
// RMWs, when the run asks for RMWs), then one line per injected violation:
// the stale loads first, then the lock violations in the order they were
// planted, each naming its kind, lock and overwriting store, then the RMWs
// made to read what another RMW read, naming that one.
std::string summary_text(const GeneratedRun& run, const GenConfig& config);

}  // namespace qirn_gen
