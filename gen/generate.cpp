#include "gen/generate.h"

#include "gen/inject.h"
#include "gen/programs.h"
#include "gen/random.h"
#include "gen/scheduler.h"

namespace qirn_gen {

GeneratedRun generate(const GenConfig& config) {
  SplitMix64 rng(config.seed);
  GeneratedRun run;
  run.programs = build_programs(config, rng);
  run.scans = schedule(run.programs, config, rng);
  run.injected = inject_violations(run.programs, config.violations, rng);
  if (run.injected.empty()) {
    run.injected = inject_timed_violations(run.programs, run.scans, config.timedViolations, rng);
  }
  return run;
}

}  // namespace qirn_gen
