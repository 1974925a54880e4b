#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qirn.h"
#include "report/diagnostics.h"
#include "run/cli.h"
#include "support/trace_fixture.h"

namespace {

// Runs deal_argv on "qirn" followed by the words, from a fresh run state.
int parse(std::vector<std::string> words) {
  reset_run_state();
  words.insert(words.begin(), "qirn");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return deal_argv(static_cast<int>(words.size()), argv.data());
}

class CommandLine : public testing::Test {
 protected:
  void TearDown() override { reset_run_state(); }
};

// The settings deal_argv fills in: model, processors, operations per
// processor, baseline flag, trace and bound prefixes, configuration file.
std::string settings() {
  const char* const models[] = {"SC", "PC", "RC", "ScC"};
  return std::string(models[state.MC]) + " " + std::to_string(state.NPROCESSOR) + " " +
         std::to_string(state.NOPLIST) + " " + std::to_string(state.isBase) + " " +
         state.QIRNTFRES + " " + state.QIRNBOUND + " " + state.MM_CONF;
}

TEST_F(CommandLine, ShortAndAbbreviatedLongOptionsSetTheRunLaterOnesWinning) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "ScC 16 625 0 tfres boundgt mm.xml"},
      {{"-p", "4", "-n", "9", "-m", "PC", "-b", "-i", "data/", "-c", "x.xml"},
       "PC 4 9 1 data/tfres data/boundgt x.xml"},
      // The input option is a prefix, not a directory.
      {{"--proc=3", "--num", "7", "--mod", "RC", "--base", "--inp", "in", "--conf=c"},
       "RC 3 7 1 intfres inboundgt c"},
      {{"-m", "SC", "-p", "2", "-i", "a/", "--model=ScC", "-p5", "-i", "b/"},
       "ScC 5 625 0 b/tfres b/boundgt mm.xml"},
      // Numbers convert like the standard conversion.
      {{"-p", " +7", "-n", "12abc"}, "ScC 7 12 0 tfres boundgt mm.xml"},
      {{"-n", "none"}, "ScC 16 0 0 tfres boundgt mm.xml"},
  };
  for (const auto& [words, expected] : cases) {
    EXPECT_EQ(parse(words), 0) << expected;
    EXPECT_EQ(settings(), expected);
  }
}

// Names are compared exactly; a later valid model does not undo a rejection.
TEST_F(CommandLine, RejectedModelStopsTheRunAfterEveryOption) {
  for (const char* name : {"SCC", "RC "}) {
    int result = 0;
    EXPECT_EQ(printed([&] {
                result = parse({"-m", name, "-p", "3", "-m", "SC"});
              }),
              "not valid memory model!\n")
        << name;
    EXPECT_EQ(result, 1) << name;
    EXPECT_EQ(state.NPROCESSOR, 3);
    EXPECT_EQ(state.MC, SC);
  }
}

TEST_F(CommandLine, NegativeProcessorCountStopsTheRun) {
  EXPECT_EXIT(as_main([&] {
                parse({"-p", "-2"});
              }),
              testing::ExitedWithCode(255),
              testing::Eq(std::string("not valid processor number!\n")));
}

opnode make_node(op_type_t kind, int_t p, int_t s, int_t addr, int_t val) {
  opnode node;
  node.optype = kind;
  node.proc_num = p;
  node.seq_num = s;
  node.addr = addr;
  node.val = val;
  return node;
}

std::string printed_node(const opnode& node, MCM_t model) {
  state.MC = model;
  return printed([&] { EXPECT_EQ(print_node(&node), 0); });
}

using Printers = CommandLine;

TEST_F(Printers, LockOperationsShowOnlyUnderReleaseAndScopeConsistency) {
  const opnode acquire = make_node(SYNC, 1, 4, 2, 0);
  const opnode release = make_node(SYNC, 1, 7, 2, 1);
  for (MCM_t model : {SC, PC, RC, ScC}) {
    const bool shown = model == RC || model == ScC;
    EXPECT_EQ(printed_node(acquire, model), shown ? "(G[1][4]:Acquire 2)" : "(");
    EXPECT_EQ(printed_node(release, model), shown ? "(G[1][7]:Release 2)" : "(");
  }
}

TEST_F(Printers, SessionArcTagsAndRecordsOutsideTheTables) {
  // Tags of arcs that only the scope-consistency search adds.
  EXPECT_EQ(printed([] { print_arc(Syn); }) + printed([] { print_arc(TCo); }), "<-Syn-<-TCo-");
  const opnode odd_sync = make_node(SYNC, 0, 0, 0, 2);
  EXPECT_EXIT(as_main([&] { printed_node(odd_sync, RC); }), testing::ExitedWithCode(255),
              "^SYNC format error!: ");
  const opnode unread = make_node(OPEND, 0, 0, 0, 0);
  EXPECT_EXIT(as_main([&] { printed_node(unread, SC); }), testing::ExitedWithCode(255),
              "^optype format error in print_node: ");
  EXPECT_EXIT(as_main([] { printed([] { print_arc(static_cast<ORDER_t>(8)); }); }),
              testing::ExitedWithCode(255), "^order type format error in print_arc: ");
}

TEST(FatalReports, QuitFormatsTheMessageAndEndsWithOneNewline) {
  EXPECT_EXIT(as_main([&] { err_quit("bad %s at %d", "line", 7); }), testing::ExitedWithCode(255),
              testing::Eq(std::string("bad line at 7\n")));
  EXPECT_EXIT(as_main([&] { err_quit("already ends\n"); }), testing::ExitedWithCode(255),
              testing::Eq(std::string("already ends\n\n")));
}

// With both streams on one file, buffered standard output must come first.
TEST(FatalReports, StandardOutputIsFlushedBeforeTheMessage) {
  char pattern[] = "/tmp/qirn-diag-XXXXXX";
  const std::string path = std::string(mkdtemp(pattern)) + "/both";
  EXPECT_EXIT(
      {
        if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::exit(2);
        dup2(fileno(stdout), fileno(stderr));
        std::printf("diagnostic line\n");
        as_main([] { err_quit("stopped"); });
      },
      testing::ExitedWithCode(255), "");
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "diagnostic line\nstopped\n");
  std::remove(path.c_str());
  rmdir(pattern);
}

}  // namespace
