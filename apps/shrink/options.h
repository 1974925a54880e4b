// Command line of qirn-shrink: qirn's own options, the output folder and a
// time limit.
#pragma once

#include <string>

#include "tools/options.h"

namespace qirn_shrink {

struct ShrinkOptions {
  int processors = 16;
  std::string model = "ScC";
  bool baseline = false;
  std::string input;     // qirn's input prefix
  std::string outdir;    // where the smallest set is written
  double timeLimit = 0;  // seconds for the whole shrink; 0 means none
  bool force = false;    // OUTDIR may already hold files
  std::string qirn;      // the qirn to run; empty: the one beside qirn-shrink
};

struct ParsedOptions {
  qirn_tools::CommandLine line;
  ShrinkOptions options;
};

// Reads the options; may be called more than once.
ParsedOptions parse_options(int argc, char** argv);

// The longest time limit -t takes, in seconds: about eleven days, far from
// the range of the clocks that measure it.
constexpr double kMaxTimeLimit = 1e6;

extern const char* const kShrinkUsage;

}  // namespace qirn_shrink
