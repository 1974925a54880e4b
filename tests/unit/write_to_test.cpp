#include "derive/write_to.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/reach_closure.h"
#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"

namespace {

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

  // Every arc list of processors 0 to 2, in list order, and what the cycle
  // check prints.
  std::string outcome() {
    std::string text;
    for (int_t p = 0; p < 3; ++p) {
      for (const opnode& node : state.graph[p]) {
        text += std::to_string(p) + "." + std::to_string(node.seq_num) + ":";
        for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc) {
          text += " " + std::to_string(arc->nptr->proc_num) + "." +
                  std::to_string(arc->nptr->seq_num) + "/" + std::to_string(arc->order);
        }
        text += "\n";
      }
    }
    ::testing::internal::CaptureStdout();
    check_cycle();
    std::fflush(stdout);
    return text + ::testing::internal::GetCapturedStdout();
  }
};

// The load of processor 0 is visited before the load of processor 2 adds the
// arc that orders the store 2 before it; the inference follows a pass later.
TEST_F(Inference, ArcAddedLaterInAPassEnablesInferenceInTheNextPass) {
  derive({"store 1 1\nload 0 1\n", "store 0 1\n", "store 0 2\nload 1 0\n"});
  EXPECT_EQ(has_arc(op(2, 1), op(0, 0), IO), 1);  // initial value
  EXPECT_EQ(has_arc(op(2, 0), op(1, 0), IO), 1);  // overwritten before the read
  EXPECT_EQ(has_arc(op(1, 0), op(2, 0), IO), 0);
}

TEST_F(Inference, ReachabilityFollowsArcsAndInOptimizedModeTime) {
  load({"load 0 1\nload 1 0\nload 1 0\nload 0 0\n", "store 0 1\n"}, SC,
       {"1:1,1\n2:3,3\n3:3,4\n", "1:0,1\n2:0,1\n3:0,1\n"});
  calculatePendingWindow();
  opnode* first = op(0, 0);
  opnode* last = op(0, 3);
  opnode* store = op(1, 0);
  EXPECT_EQ(check_go(store, first), 0);
  ins_arc(store, first, Wt);
  EXPECT_EQ(check_go(store, first), 1);
  EXPECT_EQ(check_go(store, last), 1);  // the load reached is timed before the last
  ins_arc(first, last, IO);
  ins_arc(last, store, IO);
  EXPECT_EQ(op_in_pw(first, last), 0);
  EXPECT_EQ(check_go(first, store), 0);  // only through an operation outside the windows
  state.isBase = 1;
  EXPECT_EQ(check_go(first, store), 1);
  EXPECT_EQ(check_go(last, op(0, 1)), 0);
}

// Random traces of loads and uniquely valued stores on two addresses.
std::vector<std::string> random_traces(std::mt19937& random) {
  std::vector<std::string> traces(3);
  std::vector<std::vector<int>> written(2, {0});
  for (int step = 0; step < 18; ++step) {
    const int addr = static_cast<int>(random() % 2);
    std::string& trace = traces[random() % 3];
    if (random() % 2 == 0) {
      written[addr].push_back(step + 1);
      trace += "store " + std::to_string(addr) + " " + std::to_string(step + 1) + "\n";
    } else {
      const int val = written[addr][random() % written[addr].size()];
      trace += "load " + std::to_string(addr) + " " + std::to_string(val) + "\n";
    }
  }
  return traces;
}

// Processors 0 to 2 are pending with each other throughout, so their
// inference and cycle check must come out as in baseline mode; processor 3,
// on an address of its own, times its first store before its last, which
// keeps the optimized run on its walks.
TEST_F(Inference, WalksUnderBoundsThatOrderNothingAgreeWithBaselineShortcuts) {
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> traces = random_traces(random);
    std::vector<std::string> bounds;
    for (const std::string& trace : traces) {
      bounds.push_back("1:0," + std::to_string(std::count(trace.begin(), trace.end(), '\n')) +
                       "\n");
    }
    traces.push_back("store 9 100\nstore 9 101\nstore 9 102\nstore 9 103\n");
    bounds.push_back("1:2,2\n");
    derive(traces);
    const std::string baseline = outcome();
    reset_run_state();
    derive(traces, bounds);
    ASSERT_EQ(check_TO(op(3, 0), op(3, 3)), 1);
    EXPECT_EQ(outcome(), baseline) << "round " << round;
    reset_run_state();
  }
}

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
