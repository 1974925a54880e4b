#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/reach_closure.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

// The first load reads the store of processor 1; the bounds put it wholly
// before the last load of processor 0, while the store of processor 1 is
// pending throughout.
const std::vector<std::string> kTimedTraces = {"load 0 1\nload 1 0\nload 1 0\nload 0 0\n",
                                               "store 0 1\n"};
const std::vector<std::string> kTimedBounds = {"1:1,1\n2:3,3\n3:3,4\n", "1:0,1\n2:0,1\n3:0,1\n"};

using Targets = std::vector<std::vector<int_t>>;

class ProgramOrder : public TraceFixture {
 protected:
  // For each operation of processor p, the sequence numbers of its LO
  // targets in list order.
  Targets targets(int_t p) {
    Targets all;
    for (const opnode& u : state.graph[p]) {
      auto& seqs = all.emplace_back();
      for (const oparc* arc = u.pointTo; arc != nullptr; arc = arc->nxtarc) {
        EXPECT_EQ(arc->order, LO);
        EXPECT_EQ(arc->nptr->proc_num, p);
        seqs.push_back(arc->nptr->seq_num);
      }
    }
    return all;
  }
};

TEST_F(ProgramOrder, OptimizedCandidatesReachTheWindowsUpperEnd) {
  load({stores(4)}, SC, {"1:1,2\n"});
  calculatePendingWindow();
  ASSERT_EQ(op(0, 0)->upw[0], 2);
  add_lo_arc(SC);
  EXPECT_EQ(targets(0), (Targets{{2, 1}, {3, 2}, {3}, {}}));
}

using CycleCheck = TraceFixture;

// An operation timed after the start is passed over, not entered, and the
// node that leads to it goes on with its later arcs.
TEST_F(CycleCheck, OptimizedWalkPassesOverAnOperationTimedAfterTheStart) {
  load(kTimedTraces, SC, kTimedBounds);
  calculatePendingWindow();
  ASSERT_EQ(check_TO(op(0, 0), op(0, 3)), 1);
  opnode* start = op(0, 0);
  opnode* middle = op(1, 0);
  ins_arc(start, middle, IO);
  ins_arc(middle, start, Wt);
  ins_arc(middle, op(0, 3), IO);
  ins_arc(op(0, 3), op(0, 2), IO);
  NodeMarks visited;
  visited.clear();
  EXPECT_EQ(dfs_check_optimize(start, start, visited), 1);
  EXPECT_FALSE(visited.test(op(0, 3)));
  del_arc(middle, start, Wt);
  visited.clear();
  EXPECT_EQ(dfs_check_optimize(start, start, visited), 0);
  EXPECT_FALSE(visited.test(op(0, 2)));
}

class Inference : public TraceFixture {
 protected:
  void derive(const std::vector<std::string>& traces, const std::vector<std::string>& bounds = {}) {
    load(traces, SC, bounds);
    construct_mapping();
    if (!bounds.empty()) calculatePendingWindow();
    add_lo_arc(SC);
    add_wt_arc();
    add_io_arc();
  }
};

TEST_F(Inference, ClosureStaysExactWhileArcsAreAdded) {
  load({"store 0 1\nstore 0 2\nstore 0 3\nstore 0 4\n", "store 1 1\nstore 1 2\nstore 1 3\n",
        "store 2 1\nstore 2 2\nstore 2 3\n"});
  std::vector<opnode*> nodes;
  for (auto& operations : state.graph) {
    for (opnode& node : operations) nodes.push_back(&node);
  }
  std::mt19937 random(3);
  const auto pick = [&] { return nodes[random() % nodes.size()]; };
  for (int i = 0; i < 8; ++i) ins_arc(pick(), pick(), LO);
  ReachClosure closure;
  for (int i = 0; i < 16; ++i) {
    opnode* from = pick();
    opnode* to = pick();
    if (ins_arc(from, to, LO) == 0) closure.add_arc(from, to);
    for (opnode* u : nodes) {
      for (opnode* v : nodes) ASSERT_EQ(closure.reaches(u, v), check_go(u, v) == 1) << i;
    }
  }
}

}  // namespace
