// Running qirn on many trace sets at once, each in a child process with a
// time limit.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "batch/sets.h"
#include "batch/verdict.h"

namespace qirn_batch {

struct RunSettings {
  std::string qirn;  // the executable; a path that stays valid in another folder
  std::string model;
  bool baseline = false;
  int jobs = 1;
  double timeout = 0;  // seconds per set; 0 means no limit
  std::string input;   // an input prefix for qirn's -i, empty for none
};

// qirn's arguments for one set, program name first. qirn runs in the set's
// folder, so it needs an input prefix only when the files lie elsewhere.
std::vector<std::string> qirn_arguments(const TraceSet& set, const RunSettings& settings);

// Called once per set, in the order of the sets, as soon as that set and
// every set before it are done.
using ReportFn = std::function<void(size_t index, const Outcome& outcome)>;

// Runs up to settings.jobs sets at once. A set whose qirn runs past the time
// limit is killed and reported as a timeout; one that cannot be started is
// reported as an error.
void run_batch(const std::vector<TraceSet>& sets, const RunSettings& settings,
               const ReportFn& report);

}  // namespace qirn_batch
