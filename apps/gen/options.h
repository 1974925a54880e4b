// Command line of qirn-gen.
#pragma once

#include <string>

#include "gen/config.h"
#include "tools/options.h"

namespace qirn_gen {

struct ParsedOptions {
  qirn_tools::CommandLine line;
  GenConfig config;
};

// Reads the options; may be called more than once.
ParsedOptions parse_options(int argc, char** argv);

std::string usage_text();

}  // namespace qirn_gen
