// What a set's manifest.json, written by qirn-gen beside its files, expects
// of the batch's model and mode, and whether a verdict meets it.
#pragma once

#include <string>

#include "batch/verdict.h"

namespace qirn_batch {

struct Expectation {
  std::string verdict;  // "pass", "violation" or "any"; empty when the manifest gives none
  std::string problem;  // why there is none: the manifest is missing or malformed
  std::string command;  // the qirn-gen command that regenerates the set; may be empty
};

// Reads folder/manifest.json and its expected verdict for model in the
// given mode.
Expectation read_expectation(const std::string& folder, const std::string& model, bool baseline);

// "any" accepts a pass or a violation; an error or a timeout never matches,
// and neither does a missing expectation.
bool matches(const Expectation& expected, Verdict verdict);

}  // namespace qirn_batch
