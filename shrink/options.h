// Command line of qirn-shrink: qirn's own options, the output folder and a
// time limit.
#pragma once

#include <string>

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
  bool help = false;
  std::string error;  // the first problem with the command line
};

ShrinkOptions parse_options(int argc, char** argv);

// The longest time limit -t takes, in seconds: about eleven days, far from
// the range of the clocks that measure it.
constexpr double kMaxTimeLimit = 1e6;

extern const char* const kShrinkUsage;

}  // namespace qirn_shrink
