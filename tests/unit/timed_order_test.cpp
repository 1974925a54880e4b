// The time-order graph against the plain relation it encodes: every stored
// arc and every pair that the windows or the scans order, closed by brute
// force on small graphs whose windows are drawn at random, so that the
// stretches along which lpw does not decrease are short and many; and the
// walks that pass over what is timed after their start.
#include "graph/timed_order.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "graph/shortest_cycle.h"
#include "scc/frontier.h"
#include "support/trace_fixture.h"

namespace {

class TimedOrder : public TraceFixture {
 protected:
  // Random traces with random (valid) bound rows, then random windows and
  // program-order arcs between neighbours, the case the graph thins out.
  void build(std::mt19937& random) {
    std::vector<std::string> traces;
    std::vector<std::string> bounds;
    for (int p = 0; p < 3; ++p) {
      const int count = 1 + static_cast<int>(random() % 6);
      traces.push_back(stores(count));
      std::string rows;
      int lb = 0;
      for (int k = 1; k <= 3; ++k) {
        lb += static_cast<int>(random() % 3);
        lb = std::min(lb, count);
        const int ub = std::min(count, lb + static_cast<int>(random() % 3));
        rows += std::to_string(k) + ":" + std::to_string(lb) + "," + std::to_string(ub) + "\n";
      }
      bounds.push_back(rows);
    }
    load(traces, SC, bounds);
    calculatePendingWindow();
    calculateCompletionScans();
    for (auto& operations : state->graph) {
      for (opnode& node : operations) {
        for (int_t t = 0; t < state->NPROCESSOR; ++t) {
          const int_t n = state->procOpNum[t];
          node.lpw[t] = static_cast<int_t>(random() % (n + 2));
          node.upw[t] = static_cast<int_t>(random() % (n + 2)) - 1;
        }
        if (node.seq_num + 1 < state->procOpNum[node.proc_num] && random() % 2 == 0) {
          ins_arc(&node, node_at(node.proc_num, node.seq_num + 1), LO);
        }
      }
    }
    for (int i = 0; i < 3; ++i) ins_arc(pick(random), pick(random), IO);
  }

  opnode* pick(std::mt19937& random) {
    const auto p = random() % state->graph.size();
    return node_at(static_cast<int_t>(p), static_cast<int_t>(random() % state->graph[p].size()));
  }

  std::vector<opnode*> all_nodes() {
    std::vector<opnode*> nodes;
    for (auto& operations : state->graph) {
      for (opnode& node : operations) nodes.push_back(&node);
    }
    return nodes;
  }

  // The breadth-first search as its rule reads: successors are the stored
  // arcs in list order, then every operation, in processor then sequence
  // order, that x is timed before; the cycle closes at the first successor
  // that is u.
  static std::vector<opnode*> literal_cycle(opnode* u, bool scans,
                                            const std::vector<opnode*>& nodes) {
    std::vector<opnode*> queue{u};
    std::map<opnode*, opnode*> parent{{u, nullptr}};
    for (std::size_t head = 0; head < queue.size(); ++head) {
      opnode* x = queue[head];
      std::vector<opnode*> next;
      for (const oparc* arc = x->pointTo; arc != nullptr; arc = arc->nxtarc)
        next.push_back(arc->nptr);
      for (opnode* v : nodes) {
        if (check_TO(x, v) != 0 || (scans && scan_before(x, v) != 0)) next.push_back(v);
      }
      for (opnode* v : next) {
        if (v == u) {
          std::vector<opnode*> cycle{u};
          for (opnode* w = x; w != u; w = parent[w]) cycle.insert(cycle.begin(), w);
          cycle.insert(cycle.begin(), u);
          return cycle;
        }
        if (parent.try_emplace(v, x).second) queue.push_back(v);
      }
    }
    return {};
  }

  // Two operations lie in each other's windows when neither is timed before
  // the other, whichever windows are read first; the initial store is timed
  // before every operation and itself, and nothing is timed before it. In
  // baseline mode nothing is timed, whatever the windows hold.
  static void expect_windows(std::vector<opnode*> nodes) {
    nodes.push_back(&state->sentinel);
    for (const opnode* u : nodes) {
      ASSERT_EQ(check_TO(&state->sentinel, u), 1);
      ASSERT_EQ(check_TO(u, &state->sentinel), u == &state->sentinel ? 1 : 0);
      for (const opnode* v : nodes) {
        const bool neither = check_TO(u, v) == 0 && check_TO(v, u) == 0;
        ASSERT_EQ(op_in_pw(u, v), neither ? 1 : 0);
      }
    }
    state->isBase = 1;
    for (const opnode* u : nodes) {
      for (const opnode* v : nodes) ASSERT_EQ(check_TO(u, v), 0);
    }
  }

  // reach[a][b]: a path of one step or more from a to b.
  std::vector<std::vector<bool>> closure(const std::vector<opnode*>& nodes) {
    const auto size = nodes.size();
    std::vector<std::vector<bool>> reach(size, std::vector<bool>(size, false));
    for (std::size_t a = 0; a < size; ++a) {
      for (std::size_t b = 0; b < size; ++b) {
        const bool timed =
            check_TO(nodes[a], nodes[b]) != 0 || scan_before(nodes[a], nodes[b]) != 0;
        reach[a][b] =
            timed || has_arc(nodes[a], nodes[b], LO) != 0 || has_arc(nodes[a], nodes[b], IO) != 0;
      }
    }
    for (std::size_t k = 0; k < size; ++k) {
      for (std::size_t a = 0; a < size; ++a) {
        for (std::size_t b = 0; b < size; ++b)
          reach[a][b] = reach[a][b] || (reach[a][k] && reach[k][b]);
      }
    }
    return reach;
  }
};

// The windows, and the components of the graph against the closure.
TEST_F(TimedOrder, WindowsAndComponentsAreThoseOfArcsAndEveryTimedPair) {
  std::mt19937 random(11);
  for (int round = 0; round < 2000; ++round) {
    reset_run_state();
    build(random);
    const std::vector<opnode*> nodes = all_nodes();
    const auto reach = closure(nodes);
    const StrongComponents parts =
        TimedOrderGraph(TimedOrderGraph::Time::WindowsAndScans).components();
    for (std::size_t a = 0; a < nodes.size(); ++a) {
      ASSERT_EQ(parts.on_cycle(nodes[a]), reach[a][a]) << "round " << round;
      for (std::size_t b = 0; b < nodes.size(); ++b) {
        const bool together = parts.component[nodes[a]->id] == parts.component[nodes[b]->id];
        ASSERT_EQ(together, a == b || (reach[a][b] && reach[b][a])) << "round " << round;
      }
    }
    SCOPED_TRACE(round);
    expect_windows(nodes);
  }
}

// The fallback cycle of the walks: the search over intervals of timed
// operations meets them in the order the plain search meets them, so the
// printed cycle is the same, and it has the fewest steps.
TEST_F(TimedOrder, ShortestCycleIsThatOfThePlainBreadthFirstSearch) {
  std::mt19937 random(13);
  for (int round = 0; round < 1000; ++round) {
    reset_run_state();
    build(random);
    const std::vector<opnode*> nodes = all_nodes();
    for (const bool scans : {false, true}) {
      for (opnode* u : nodes) {
        ASSERT_EQ(shortest_cycle_through(u, scans), literal_cycle(u, scans, nodes))
            << "round " << round << ", scans " << scans;
      }
    }
  }
}

// The walks of the cycle check and of the ScC frontier search pass over an
// operation timed after their start without entering it, and the node that
// leads to it goes on with its later arcs. The first load reads the store of
// processor 1; the bounds put it wholly before the last load of processor 0,
// while the store of processor 1 is pending throughout.
TEST_F(TimedOrder, WalksPassOverAnOperationTimedAfterTheStart) {
  load({"load 0 1\nload 1 0\nload 1 0\nload 0 0\n", "store 0 1\n"}, SC,
       {"1:1,1\n2:3,3\n3:3,4\n", "1:0,1\n2:0,1\n3:0,1\n"});
  calculatePendingWindow();
  opnode* start = op(0, 0);
  opnode* middle = op(1, 0);
  ASSERT_EQ(check_TO(start, op(0, 3)), 1);
  ins_arc(start, middle, IO);
  ins_arc(middle, start, Wt);
  ins_arc(middle, op(0, 3), IO);  // newest, so looked at first
  NodeMarks visited;
  visited.clear();
  EXPECT_EQ(foundTimedPath(start, start, visited), 1);
  EXPECT_FALSE(visited.test(op(0, 3)));
  ins_arc(op(0, 3), op(0, 2), IO);
  visited.clear();
  EXPECT_EQ(dfs_check_optimize(start, start, visited), 1);
  EXPECT_FALSE(visited.test(op(0, 3)));
  del_arc(middle, start, Wt);
  visited.clear();
  EXPECT_EQ(dfs_check_optimize(start, start, visited), 0);
  EXPECT_FALSE(visited.test(op(0, 2)));
}

}  // namespace
