#include "derive/program_order.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bounds/windows.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

using Targets = std::vector<int_t>;

class ProgramOrder : public TraceFixture {
 protected:
  // Sequence numbers of the LO targets of operation (p, s), in list order.
  Targets targets(int_t p, int_t s) {
    Targets seqs;
    for (const oparc* arc = op(p, s)->pointTo; arc != nullptr; arc = arc->nxtarc) {
      EXPECT_EQ(arc->order, LO);
      EXPECT_EQ(arc->nptr->proc_num, p);
      seqs.push_back(arc->nptr->seq_num);
    }
    return seqs;
  }
};

TEST_F(ProgramOrder, SequentialConsistencyOrdersEveryPairOnceNewestFirst) {
  load({"store 0 1\nload 1 0\nstore 2 2\n", "load 3 0\n"}, SC);
  add_lo_arc(SC);
  EXPECT_EQ(targets(0, 0), Targets({2, 1}));
  EXPECT_EQ(targets(0, 1), Targets({2}));
  EXPECT_EQ(targets(0, 2), Targets());
  EXPECT_EQ(targets(1, 0), Targets());
}

// Every cell of the table: a load keeps order to everything after it, a
// store or lock operation only to stores and to same-address operations.
TEST_F(ProgramOrder, ProcessorConsistencyDropsOnlyOrderIntoNonStoresOfOtherAddresses) {
  load({"store 1 1\nload 2 0\nacquire 1\nstore 2 2\nload 1 1\nrelease 2\n"}, PC);
  add_lo_arc(PC);
  EXPECT_EQ(targets(0, 0), Targets({4, 3, 2}));
  EXPECT_EQ(targets(0, 1), Targets({5, 4, 3, 2}));
  EXPECT_EQ(targets(0, 2), Targets({4, 3}));
  EXPECT_EQ(targets(0, 3), Targets({5}));
  EXPECT_EQ(targets(0, 4), Targets({5}));
}

TEST_F(ProgramOrder, OptimizedCandidatesStopBelowTheWindowsUpperEnd) {
  load({"store 0 1\nstore 0 2\nstore 0 3\nstore 0 4\n"}, SC, {"1:1,2\n"});
  calculatePendingWindow();
  ASSERT_EQ(op(0, 0)->upw[0], 2);
  add_lo_arc(SC);
  EXPECT_EQ(targets(0, 0), Targets({1}));
  EXPECT_EQ(targets(0, 1), Targets({3, 2}));
  EXPECT_EQ(targets(0, 2), Targets({3}));
}

TEST_F(ProgramOrder, WindowsReachingPastTheTraceAreClamped) {
  load({"store 0 1\nstore 0 2\nstore 0 3\n"}, SC, {"1:0,3\n"});
  op(0, 0)->lpw[0] = -7;
  op(0, 0)->upw[0] = 99;
  op(0, 1)->upw[0] = -3;
  add_lo_arc(SC);
  EXPECT_EQ(targets(0, 0), Targets({2, 1}));
  EXPECT_EQ(targets(0, 1), Targets());
}

TEST_F(ProgramOrder, ScopeConsistencyNestsSessionsAndChainsInSessionStores) {
  load({"acquire 1\nacquire 2\nstore 3 1\nrelease 2\nrelease 1\n",
        "acquire 0\nstore 5 1\nstore 5 2\nrelease 0\n"},
       ScC);
  construct_mapping();
  init_inSync();
  update_pre_nxt_node();
  add_lo_arc(ScC);
  EXPECT_EQ(targets(0, 0), Targets({4, 3, 2, 1}));
  EXPECT_EQ(targets(0, 1), Targets({3, 2, 4}));
  EXPECT_EQ(targets(0, 2), Targets({3, 4}));
  EXPECT_EQ(targets(0, 3), Targets({4}));
  EXPECT_EQ(targets(1, 1), Targets({2, 3}));
  EXPECT_EQ(targets(1, 2), Targets({3}));
}

TEST_F(ProgramOrder, SessionLookupsStopAtTheFirstLockOperation) {
  load({"acquire 0\nstore 0 1\nrelease 0\nload 0 1\nrelease 0\n"}, RC);
  EXPECT_EQ(findRelease(op(0, 0)), op(0, 2));
  EXPECT_EQ(findAcquire(op(0, 2)), op(0, 0));
  EXPECT_EXIT(findAcquire(op(0, 4)), ::testing::ExitedWithCode(255),
              "^the RC program has errors!\n$");
  EXPECT_EXIT(findAcquire(op(0, 0)), ::testing::ExitedWithCode(255),
              "^the RC program for testing has errors!\n$");
}

}  // namespace
