// Command line of qirn-batch.
#pragma once

#include <string>
#include <vector>

#include "tools/option_text.h"

namespace qirn_batch {

using qirn_tools::parse_whole;

// "invalid value for NAME: 'TEXT' (expected EXPECTED)".
std::string invalid(const char* name, const char* text, const char* expected);

struct BatchOptions {
  std::string model = "ScC";  // passed to qirn as -m
  bool baseline = false;      // passed to qirn as -b
  int jobs = 0;               // sets verified at once; 0 means one per core
  int processors = 0;         // given to every set; 0 means counted per set
  double timeout = 600;       // seconds per set; 0 means no limit
  std::string jsonFile;       // empty: no JSON file
  bool expect = false;        // check each set's verdict against its manifest.json
  std::string junitFile;      // empty: no JUnit XML file
  std::string qirn;           // empty: the qirn beside qirn-batch
  std::vector<std::string> paths;
};

struct ParsedOptions {
  enum class Action { Run, Help, Fail };
  Action action = Action::Run;
  BatchOptions options;
  std::string error;  // what was wrong, when action is Fail
};

// Reads the options with getopt_long; may be called more than once.
ParsedOptions parse_options(int argc, char** argv);

std::string usage_text();

}  // namespace qirn_batch
