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

// qirn's arguments for one set, program name first, as a user would run it.
// qirn runs in the set's folder, so it needs an input prefix only when the
// files lie elsewhere. The batch adds the option that writes qirn's JSON
// object to a pipe it reads.
std::vector<std::string> qirn_arguments(const TraceSet& set, const RunSettings& settings);

// Called once per set, in the order of the sets, as soon as that set and
// every set before it are done.
using ReportFn = std::function<void(size_t index, const Outcome& outcome)>;

// Runs up to settings.jobs sets at once, each qirn leading a process group of
// its own, and takes each set's verdict from qirn's JSON object. A set whose qirn runs past the
// time limit is killed with its group and reported as a timeout; one that cannot be started, or
// whose folder could not be read, is reported as an error. Once qirn ends, whatever it left running
// in its group is killed, and its output is not waited for any longer. A SIGINT or SIGTERM (unless
// ignored) kills every running group and then ends this process by that signal. One batch at a time
// per process: the signal handlers are its own while it runs.
void run_batch(const std::vector<TraceSet>& sets, const RunSettings& settings,
               const ReportFn& report);

}  // namespace qirn_batch
