// How qirn-batch reads one qirn run: its verdict and the line it names,
// whatever pieces the output arrives in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/verdict.h"

namespace {

using qirn_batch::Ending;
using qirn_batch::ErrorText;
using qirn_batch::OutputScan;
using qirn_batch::Verdict;

struct Case {
  const char* what;
  std::string out;
  std::string err;
  int status;
  Verdict verdict;
  std::string detail;
};

// Feeds the output in pieces of every size from 1 to 7 bytes, so that lines
// are split at every place.
qirn_batch::Outcome read_run(const Case& run, size_t piece) {
  OutputScan out;
  for (size_t at = 0; at < run.out.size(); at += piece) out.add(run.out.substr(at, piece));
  out.finish();
  ErrorText err;
  err.add(run.err);
  return classify(out, err, Ending{Ending::Kind::Exited, run.status}, 0);
}

TEST(BatchVerdict, TheLastVerdictLineCountsWhateverPiecesTheOutputArrivesIn) {
  const std::string cycle = "(G[0][1]:S[0]#1)<-T-(G[1][0]:L[0]=1)<-Wt-(G[0][1]:S[0]#1)\n";
  const std::vector<Case> cases = {
      {"a cycle before the ScC search, which then finds no path",
       "ScC\nbefore add go arc!\nbaseline algorithm begin !...\nno path can be found!\n"
       "Count of choosing edge: 0\n",
       "", 0, Verdict::Violation, "no path can be found!"},
      {"a cycle before the ScC search, which then passes", "before add go arc!\nno cycle!\n", "", 0,
       Verdict::Violation, "before add go arc!"},
      {"a printed cycle alone", "Find a consistency violation:\n" + cycle, "", 0,
       Verdict::Violation, "Find a consistency violation:"},
      {"a pass without a final newline", "no cycle!\nCount of choosing edge: 0", "", 0,
       Verdict::Pass, "no cycle!"},
      {"a verdict line inside a longer line does not count", "xno cycle!\n" + cycle, "", 0,
       Verdict::Error, "no verdict in qirn's output"},
      {"the stale read that stops the run", cycle, "Find a write-to consistency violation\n", 255,
       Verdict::Violation, "Find a write-to consistency violation"},
      {"bad input", "", "op type format is error\n", 255, Verdict::Error,
       "op type format is error"},
  };
  for (const Case& run : cases) {
    for (size_t piece = 1; piece <= 7; ++piece) {
      const qirn_batch::Outcome outcome = read_run(run, piece);
      EXPECT_EQ(outcome.verdict, run.verdict) << run.what << ", pieces of " << piece;
      EXPECT_EQ(outcome.detail, run.detail) << run.what << ", pieces of " << piece;
    }
  }
}

}  // namespace
