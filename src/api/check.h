// qirn as a library: one check of one run, with its inputs named by the
// caller and everything it would print handed back.
//
// Each check has a run state of its own, bound to the calling thread while it
// runs, so checks in different threads run at the same time without sharing
// anything. What a check prints is byte for byte what the command line
// `qirn -m MODEL [-b] ...` prints for the same inputs.
#pragma once

#include <string>
#include <vector>

namespace qirn {

struct Options {
  std::string model = "ScC";  // SC, PC, RC, ScC, TSO, PSO or WMO
  bool baseline = false;      // -b: no bound files, no time order
  // The traces, in one of three forms:
  // * trace files PREFIXtfres.N, with bound files PREFIXboundgt.N (as -i), for
  //   `processors` processors, or as many as there are trace files when 0;
  std::string prefix;
  int processors = 0;
  // * one file holding the whole run (as --trace);
  std::string traceFile;
  // * the text of such a file, held in memory; `traceFile`, when set, only
  //   names it in messages.
  std::string traceText;
  bool traceInMemory = false;
  // As -j: the threads that read the files of this check; 0 for every core.
  int threads = 0;
};

// The verdict, numbered as `qirn --exit-code` numbers its exit status.
enum class Verdict { Pass = 0, Violation = 1, BadInput = 2, NoVerdict = 3 };

struct Result {
  Verdict verdict = Verdict::NoVerdict;
  int status = 0;      // the command line's exit status without --exit-code
  std::string output;  // its standard output
  std::string errors;  // its standard error
  // The printed cycle, one operation each as the report shows it, e.g.
  // "(G[0][1]:L[3]=1)", the first one again at the end; empty when the run
  // printed none.
  std::vector<std::string> witness;
};

Result check(const Options& options);

}  // namespace qirn
