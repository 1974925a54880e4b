// qirn-witness: one verification run in this process, and its cycle written
// as a picture.
#pragma once

#include <string>
#include <vector>

#include "tools/options.h"

namespace qirn_witness {

struct WitnessOptions {
  std::string file;                        // where the picture goes
  std::string format = "dot";              // dot or svg
  std::vector<std::string> qirnArguments;  // program name first
};

struct ParsedOptions {
  qirn_tools::CommandLine line;
  WitnessOptions options;
};

// Takes -o FILE (also -oFILE, --output FILE, --output=FILE), --format X (also
// --format=X), -h, --help and --version, spelt out in full; every other
// argument is left for qirn's own option parser.
ParsedOptions parse_options(int argc, char** argv);

extern const char* const kWitnessUsage;

// Runs the verifier with qirn's arguments, printing what qirn prints and
// reporting a fatal stop as qirn does; returns qirn's exit status.
int run_verifier(const std::vector<std::string>& arguments);

// Writes the last found cycle in the format; returns the exit status and
// reports on standard error.
int write_witness(const WitnessOptions& options);

}  // namespace qirn_witness
