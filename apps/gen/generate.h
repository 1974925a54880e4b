// One whole generated run: programs, their simulated execution, scans and
// injected violations, all drawn from the configured seed.
#pragma once

#include "gen/config.h"
#include "gen/run_model.h"

namespace qirn_gen {

GeneratedRun generate(const GenConfig& config);

}  // namespace qirn_gen
