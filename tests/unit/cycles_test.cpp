#include "graph/cycles.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "bounds/windows.h"
#include "graph/arc_store.h"
#include "support/trace_fixture.h"

namespace {

class CycleCheck : public TraceFixture {
 protected:
  // check_cycle's answer and everything it printed.
  std::pair<int_t, std::string> checked() {
    ::testing::internal::CaptureStdout();
    const int_t found = check_cycle();
    std::fflush(stdout);
    return {found, ::testing::internal::GetCapturedStdout()};
  }

  // The first load reads the store of processor 1; the bounds put it wholly
  // before the last load of processor 0, while the store of processor 1 is
  // pending throughout.
  void load_timed_trace() {
    load({"load 0 1\nload 1 0\nload 1 0\nload 0 0\n", "store 0 1\n"}, SC,
         {"1:1,1\n2:3,3\n3:3,4\n", "1:0,1\n2:0,1\n3:0,1\n"});
    calculatePendingWindow();
    ASSERT_EQ(check_TO(op(0, 0), op(0, 3)), 1);
  }
};

TEST_F(CycleCheck, TwoStoresOrderedBothWaysPrintTheStartAtBothEnds) {
  load({"store 1 1\nstore 2 2\n"}, SC);
  EXPECT_EQ(checked(), std::make_pair(0, std::string()));
  ins_arc(op(0, 0), op(0, 1), LO);
  ins_arc(op(0, 1), op(0, 0), LO);
  EXPECT_EQ(checked(), std::make_pair(1, std::string("Find a consistency violation:\n"
                                                     "(G[0][0]:S[1]#1)<-P-(G[0][1]:S[2]#2)<-P-"
                                                     "(G[0][0]:S[1]#1)\n")));
}

TEST_F(CycleCheck, SelfLoopIsTheWholeCycle) {
  load({"load 1 0\nstore 2 2\n"}, SC);
  ins_arc(op(0, 0), op(0, 1), LO);
  ins_arc(op(0, 1), op(0, 1), IO);
  EXPECT_EQ(checked().second,
            "Find a consistency violation:\n(G[0][1]:S[2]#2)<-I-(G[0][1]:S[2]#2)\n");
}

// The first operation only leads into the cycle; the second lies on it.
TEST_F(CycleCheck, StartIsTheFirstOperationOnACycleInBothModes) {
  load({"store 1 1\nload 2 0\n", "store 2 2\n"}, SC);
  ins_arc(op(0, 0), op(0, 1), LO);
  ins_arc(op(0, 1), op(1, 0), IO);
  ins_arc(op(1, 0), op(0, 1), Wt);
  const std::string expected =
      "Find a consistency violation:\n(G[0][1]:L[2]=0)<-Wt-(G[1][0]:S[2]#2)<-I-(G[0][1]:L[2]=0)\n";
  EXPECT_EQ(checked().second, expected);
  state.isBase = 0;  // windows never computed: nothing is timed
  EXPECT_EQ(checked().second, expected);
}

// A node whose first arc leads to an operation timed after the start is left
// at once: its later arc back to the start is never looked at.
TEST_F(CycleCheck, OptimizedWalkLeavesANodeAtItsFirstArcIntoTheFuture) {
  load_timed_trace();
  opnode* start = op(0, 0);
  opnode* middle = op(1, 0);
  ins_arc(start, middle, IO);
  ins_arc(middle, start, Wt);
  ins_arc(middle, op(0, 3), IO);
  NodeMarks visited;
  visited.clear();
  EXPECT_EQ(dfs_check_optimize(start, start, visited), 0);
  EXPECT_TRUE(visited.test(middle));
  visited.clear();
  state.isBase = 1;
  EXPECT_EQ(dfs_check(start, start, visited), 1);
  state.isBase = 0;
  del_arc(middle, start, Wt);
  ins_arc(middle, start, Wt);  // now ahead of the arc into the future
  visited.clear();
  EXPECT_EQ(dfs_check_optimize(start, start, visited), 1);
}

}  // namespace
