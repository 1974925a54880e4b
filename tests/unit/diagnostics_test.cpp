#include "run/diagnostics.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "qirn.h"

namespace {

testing::Matcher<const std::string&> is_text(const std::string& text) {
  return testing::Eq(text);
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
  testing::internal::CaptureStdout();
  EXPECT_EQ(print_node(&node), 0);
  return testing::internal::GetCapturedStdout();
}

class Printers : public testing::Test {
 protected:
  void SetUp() override { reset_run_state(); }
  void TearDown() override { reset_run_state(); }
};

TEST_F(Printers, LoadsAndStoresPrintTheirPlaceAddressAndValue) {
  for (MCM_t model : {SC, PC, RC, ScC}) {
    EXPECT_EQ(printed_node(make_node(LOAD, 0, 1, 3, 1), model), "(G[0][1]:L[3]=1)");
    EXPECT_EQ(printed_node(make_node(STORE, 2, 0, 1, -4), model), "(G[2][0]:S[1]#-4)");
  }
}

TEST_F(Printers, LockOperationsShowOnlyUnderReleaseAndScopeConsistency) {
  const opnode acquire = make_node(SYNC, 1, 4, 2, 0);
  const opnode release = make_node(SYNC, 1, 7, 2, 1);
  for (MCM_t model : {RC, ScC}) {
    EXPECT_EQ(printed_node(acquire, model), "(G[1][4]:Acquire 2)");
    EXPECT_EQ(printed_node(release, model), "(G[1][7]:Release 2)");
  }
  for (MCM_t model : {SC, PC}) {
    EXPECT_EQ(printed_node(acquire, model), "(");
    EXPECT_EQ(printed_node(release, model), "(");
  }
}

TEST_F(Printers, NodeOutsideTheTablesStopsTheRun) {
  const opnode odd_sync = make_node(SYNC, 0, 0, 0, 2);
  EXPECT_EXIT(printed_node(odd_sync, RC), testing::ExitedWithCode(255), "^SYNC format error!: ");
  const opnode unread = make_node(OPEND, 0, 0, 0, 0);
  EXPECT_EXIT(printed_node(unread, SC), testing::ExitedWithCode(255),
              "^optype format error in print_node: ");
}

TEST_F(Printers, EveryArcOrderHasItsTag) {
  testing::internal::CaptureStdout();
  for (ORDER_t order : {TO, LO, Wt, Co, IO, RO, Syn, TCo}) EXPECT_EQ(print_arc(order), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "<-T-<-P-<-Wt-<-Co-<-I-<-R-<-Syn-<-TCo-");
  EXPECT_EXIT(
      {
        testing::internal::CaptureStdout();
        print_arc(static_cast<ORDER_t>(8));
      },
      testing::ExitedWithCode(255), "^order type format error in print_arc: ");
}

TEST(FatalReports, QuitFormatsTheMessageAndEndsWithOneNewline) {
  EXPECT_EXIT(err_quit("bad %s at %d", "line", 7), testing::ExitedWithCode(255),
              is_text("bad line at 7\n"));
  EXPECT_EXIT(err_quit("already ends\n"), testing::ExitedWithCode(255),
              is_text("already ends\n\n"));
}

TEST(FatalReports, SystemReportAppendsTheTextOfTheSavedErrorNumber) {
  EXPECT_EXIT(
      {
        errno = ENOENT;
        err_sys("open %s", "x");
      },
      testing::ExitedWithCode(255), is_text("open x: No such file or directory\n"));
}

TEST(FatalReports, AssertionNamesItsUnitAndLine) {
  EXPECT_EXIT(QIRN_ISVALID(1 + 1 == 3, kTraceCountSite), testing::ExitedWithCode(255),
              is_text("QIRN_ISVALID FAILURE IN init.cpp , LINE 416 ! \n\n"));
  EXPECT_EXIT(QIRN_ISVALID(false, kBoundRowIndexSite), testing::ExitedWithCode(255),
              is_text("QIRN_ISVALID FAILURE IN init.cpp , LINE 306 ! \n\n"));
  EXPECT_EXIT(QIRN_ISVALID(false, kLoadLookupSite), testing::ExitedWithCode(255),
              is_text("QIRN_ISVALID FAILURE IN operation.cpp , LINE 8 ! \n\n"));
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
        err_quit("stopped");
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
