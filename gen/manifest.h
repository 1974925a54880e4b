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
// prefix, as one shell word.
std::string regenerate_command(const GenConfig& config);

// "pass" for a run with nothing injected, which is sequentially consistent
// and keeps every lock's sessions apart, so every model and mode accepts it.
// "violation" where an injection is sure to be found: a time-proven stale
// load (-t) by SC and PC in optimized mode, which read the scans; a planted
// lock violation by RC and ScC in both modes and by SC in baseline mode.
// "any" otherwise. model is SC, PC, RC or ScC.
const char* expected_verdict(const GeneratedRun& run, std::string_view model, bool baseline);

// One JSON object: tool, version, seed, options, the injections made,
// the command that regenerates the set and the expected verdicts.
std::string manifest_text(const GeneratedRun& run, const GenConfig& config);

}  // namespace qirn_gen
