#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "derive/reach_closure.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "support/trace_fixture.h"

namespace {

using Inference = TraceFixture;

TEST_F(Inference, ClosureStaysExactWhileArcsAreAdded) {
  load({"store 0 1\nstore 0 2\nstore 0 3\nstore 0 4\n", "store 1 1\nstore 1 2\nstore 1 3\n",
        "store 2 1\nstore 2 2\nstore 2 3\n"});
  std::vector<opnode*> nodes;
  for (auto& operations : state->graph) {
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
