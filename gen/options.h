// Command line of qirn-gen.
#pragma once

#include <string>

#include "gen/config.h"

namespace qirn_gen {

struct ParsedOptions {
  enum class Action { Run, Help, Fail };
  Action action = Action::Run;
  GenConfig config;
  std::string error;  // what was wrong, when action is Fail
};

// Reads the options with getopt_long; may be called more than once.
ParsedOptions parse_options(int argc, char** argv);

std::string usage_text();

}  // namespace qirn_gen
