// Command line of qirn-batch.
#pragma once

#include <string>
#include <vector>

#include "tools/options.h"

namespace qirn_batch {

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
  int shardIndex = 0;         // with --shard K/N, K (from 1); 0 for every set
  int shardCount = 0;         // N
  std::vector<std::string> paths;
};

struct ParsedOptions {
  qirn_tools::CommandLine line;
  BatchOptions options;
};

// Reads the options; may be called more than once.
ParsedOptions parse_options(int argc, char** argv);

std::string usage_text();

}  // namespace qirn_batch
