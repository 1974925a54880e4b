#include "gen/generate.h"

#include <utility>

#include "gen/inject.h"
#include "gen/lock_violations.h"
#include "gen/programs.h"
#include "gen/random.h"
#include "gen/scheduler.h"

namespace qirn_gen {

GeneratedRun generate(const GenConfig& config) {
  SplitMix64 rng(config.seed);
  GeneratedRun run;
  run.model = config.model;
  run.programs = build_programs(config, rng);
  Schedule simulated = schedule(run.programs, config, rng);
  run.scans = std::move(simulated.scans);
  run.lockViolations = std::move(simulated.planted);
  run.injected = buffered(config) ? inject_own_stale(run.programs, config.violations, rng)
                                  : inject_violations(run.programs, config.violations, rng);
  if (run.injected.empty()) {
    run.injected = inject_timed_violations(run.programs, run.scans, config.timedViolations, rng);
    run.injectedTimed = !run.injected.empty();
  }
  run.rmwViolations = inject_rmw_violations(run.programs, config.rmwViolations, rng);
  alter_stale_loads(run.programs, run.lockViolations);
  return run;
}

}  // namespace qirn_gen
