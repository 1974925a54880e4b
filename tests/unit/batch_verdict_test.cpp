// How qirn-batch reads one qirn run: the verdict and the line that qirn's
// JSON object names, and what it falls back on when no whole object arrives.
#include <gtest/gtest.h>

#include <string>

#include "batch/verdict.h"
#include "support/tool_runs.h"

namespace {

using qirn_batch::Ending;
using qirn_batch::ErrorText;
using qirn_batch::Outcome;
using qirn_batch::Verdict;

// The ScC run prints "before add go arc!" and then "no path can be found!":
// the last violation line counts. The write-to violation stops the run with
// its message, and a stop on bad input is told by its message, not by the
// line that --json adds after it on standard error.
TEST(BatchVerdict, QirnsObjectGivesTheLastViolationLineOrTheStopMessage) {
  const struct {
    const char* scenario;
    int processors;
    const char* model;
    bool baseline;
    Verdict verdict;
    const char* detail;
    int status;
  } cases[] = {
      {"scc-cycle-before-search", 2, "ScC", true, Verdict::Violation, "no path can be found!", 0},
      {"sc-write-to-timed-before-store", 2, "SC", false, Verdict::Violation,
       "Find a write-to consistency violation", 255},
      {"cli-exit-code-names-the-bad-line", 2, "SC", true, Verdict::Error, "op type format is error",
       255},
      {"pc-iriw", 4, "SC", true, Verdict::Violation, "find cycle", 0},
      {"pc-iriw", 4, "ScC", true, Verdict::Pass, "no cycle!", 0},
  };
  for (const auto& c : cases) {
    const Outcome outcome = run_qirn_once(std::string(QIRN_E2E_DIR) + "/" + c.scenario,
                                          c.processors, c.model, c.baseline);
    EXPECT_EQ(outcome.verdict, c.verdict) << c.scenario << ' ' << c.model;
    EXPECT_EQ(outcome.detail, c.detail) << c.scenario << ' ' << c.model;
    EXPECT_EQ(outcome.status, c.status) << c.scenario << ' ' << c.model;
  }
}

// An object cut short anywhere is no object, so the run is told by the way
// it ended; the whole one gives its fields, escapes decoded.
TEST(BatchVerdict, OnlyAWholeObjectIsRead) {
  const std::string object =
      "{\"model\": \"RC\", \"verdict\": \"error\", \"line\": null, \"status\": 2, \"choices\": 0,"
      " \"witness\": {\"kind\": \"core\", \"nodes\": [{\"text\": \"(G[0][0]:S[0]#1)\"}],"
      " \"arcs\": [], \"flag\": true}, \"error\": {\"message\": \"bad \\\"x\\\"\\u0009\\\\\\n"
      "in line\", \"file\": null, \"line\": 3}}\n";
  const auto whole = qirn_batch::read_qirn_report(object);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->verdict, "error");
  EXPECT_EQ(whole->line, "");
  EXPECT_EQ(whole->error, "bad \"x\"\t\\\nin line");
  ErrorText err;
  err.add("bad\nqirn: in tfres.0, line 3\n");
  const Ending exited{Ending::Kind::Exited, 255};
  EXPECT_EQ(classify(whole, err, exited, 0).detail, "in line");
  for (size_t cut = 0; cut + 1 < object.size(); ++cut) {
    const auto part = qirn_batch::read_qirn_report(std::string_view(object).substr(0, cut));
    EXPECT_FALSE(part) << cut;
    EXPECT_EQ(classify(part, err, exited, 0).detail, "qirn: in tfres.0, line 3") << cut;
  }
  EXPECT_EQ(classify(std::nullopt, ErrorText(), Ending{}, 0).detail, "no verdict in qirn's output");
  EXPECT_FALSE(qirn_batch::read_qirn_report(object + "{}"));
  EXPECT_FALSE(qirn_batch::read_qirn_report(std::string(20, '[') + std::string(20, ']')));
}

}  // namespace
