// Runs a stage with its standard output held back, so that the driver can
// decide afterwards whether to show it.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "report/diagnostics.h"

struct HeldOutput {
  std::string text;               // everything the stage printed
  std::optional<FatalStop> stop;  // the fatal stop that ended it, if one did
};

// Runs `stage` with standard output going to memory; restores it whatever
// the stage throws. A fatal stop is kept, not passed on.
HeldOutput run_held(const std::function<void()>& stage);
// Prints what a held stage printed.
void show(const HeldOutput& held);
