// One shrink: the verdict of the given set, the reduction with qirn as the
// test, and the smaller set written out.
#pragma once

#include <string>

#include "shrink/options.h"

namespace qirn_shrink {

// Runs the whole shrink for the options, qirn being the executable to test
// with. Prints the result on standard output and problems on standard error;
// returns the exit status (0 shrunk, 1 nothing to shrink, 2 failure).
int shrink(const ShrinkOptions& options, const std::string& qirn);

}  // namespace qirn_shrink
