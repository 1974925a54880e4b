// The manifest written beside a generated trace set: how it was made and
// which verdict each model and mode is sure to give, for test pipelines that
// check qirn's answers (qirn-batch --expect reads it).
#pragma once

#include <string>
#include <string_view>

#include "gen/config.h"
#include "gen/run_model.h"

namespace qirn_gen {

std::string manifest_path(const std::string& prefix);  // prefix + "manifest.json"

// "qirn-gen" with every option given explicitly; -o only when there is a
// prefix, as one shell word, and --one-file likewise; -m and --fences only
// for runs that use TSO, PSO, fences or RMWs, -r and -x only for runs that
// ask for RMWs or their violations, which otherwise are as before them.
std::string regenerate_command(const GenConfig& config);

// What model (SC, PC, RC, ScC, TSO, PSO or WMO) is sure to answer in the
// given mode.
// "pass" for a run with nothing injected under the models that allow every
// run of the simulated one whose lock sessions never overlap: all of them
// for SC; TSO, PSO, WMO, RC and ScC for TSO; PSO, WMO, RC and ScC for PSO;
// WMO, RC and ScC for WMO.
// "violation" where an injection is sure to be found: two RMWs that read the
// same value (-x) by every model in both modes; a stale load of -v
// under TSO, PSO or WMO (a value older than its processor's own store) by
// every model in both modes; a time-proven stale load (-t) by SC, PC, TSO,
// PSO and WMO in optimized mode, which read the scans; a planted lock
// violation by RC and ScC in both modes and by SC and TSO in baseline mode.
// "any" otherwise.
const char* expected_verdict(const GeneratedRun& run, std::string_view model, bool baseline);

// One JSON object: tool, version, seed, options, the injections made,
// the command that regenerates the set and the expected verdicts. A run of
// SC without fences and RMWs gets no "model" or "fences" option and
// expectations for SC, PC, RC and ScC only, as before those options existed;
// only a run under WMO gets expectations for WMO, and only a run that asks
// for RMWs gets "rmw" and "rmw-violations".
std::string manifest_text(const GeneratedRun& run, const GenConfig& config);

}  // namespace qirn_gen
