#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "derive/program_order.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "rc/cycle_tests.h"
#include "rc/pairing_search.h"
#include "rc/propagation.h"
#include "support/literal_pairing_search.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

class ReleaseConsistency : public TraceFixture {
 protected:
  // The arcs a baseline RC run has when its search begins.
  void derive(const std::vector<std::string>& traces) {
    load(traces, RC);
    construct_mapping();
    init_inSync();
    init_first_write_sync_read();
    add_lo_arc(RC);
    add_wt_arc();
    add_lo_for_sync();
  }
};

// Operation 0 lies before any session, 2 inside, 4 between two sessions, 7
// after the last one.
const char* const kSessionsTrace =
    "store 9 1\nacquire 0\nstore 1 1\nrelease 0\nstore 2 1\nacquire 1\nrelease 1\nstore 3 1\n";

TEST_F(ReleaseConsistency, CompanionArcRunsFromReleaseOnWriterSideToAcquireOnReaderSide) {
  load({kSessionsTrace, kSessionsTrace}, RC);
  const Arcs none = arcs();
  using Arc = std::pair<opnode*, opnode*>;
  struct Case {
    opnode* u;
    opnode* v;
    std::optional<Arc> expected;
  };
  const std::vector<Case> cases = {
      {op(0, 2), op(1, 2), Arc{op(0, 3), op(1, 1)}},  // inside -> inside
      {op(0, 2), op(1, 4), Arc{op(0, 3), op(1, 5)}},  // inside -> before a session
      {op(0, 4), op(1, 2), Arc{op(0, 3), op(1, 1)}},  // after a session -> inside
      {op(0, 4), op(1, 0), Arc{op(0, 3), op(1, 1)}},  // after -> before the first
      {op(0, 7), op(1, 4), Arc{op(0, 6), op(1, 5)}},  // after the last -> between
      {op(0, 0), op(1, 2), std::nullopt},             // writer before every session
      {op(0, 2), op(1, 7), std::nullopt},             // reader after every session
      {op(0, 2), op(0, 4), std::nullopt},             // one processor
  };
  for (const Case& c : cases) {
    ins_arc_for_rc(c.u, c.v, Wt);
    if (c.expected) {
      EXPECT_EQ(del_arc(c.expected->first, c.expected->second, Wt), 0)
          << "from " << c.u->proc_num << "," << c.u->seq_num;
    }
    EXPECT_EQ(arcs(), none) << "from " << c.u->proc_num << "," << c.u->seq_num;
  }
}

TEST_F(ReleaseConsistency, ReleaseLinksOnlyToTheNextAcquireOfItsLock) {
  load({"release 1\nacquire 2\nrelease 2\nacquire 1\n", "acquire 1\nrelease 1\n"}, RC);
  const Arcs none = arcs();
  add_lo_for_sync();
  EXPECT_EQ(del_arc(op(0, 0), op(0, 3), LO), 0);
  EXPECT_EQ(arcs(), none);
}

// Random arcs, each kept only while no walk closes a cycle: after every
// insertion the test that knows the new arc must agree with walks from every
// operation, with and without (arbitrary, even contradictory) time bounds.
TEST_F(ReleaseConsistency, CycleTestAfterAnArcAgreesWithWalksFromEveryOperation) {
  std::mt19937 random(7);
  const auto pick = [&random](int_t n) {
    return std::uniform_int_distribution<int_t>(0, n - 1)(random);
  };
  for (int_t round = 0; round < 120; ++round) {
    reset_run_state();
    load({"load 1 0\nload 1 0\nload 1 0\nload 1 0\n", "load 1 0\nload 1 0\nload 1 0\n",
          "load 1 0\nload 1 0\nload 1 0\nload 1 0\nload 1 0\n"},
         RC);
    state.isBase = round % 2;
    for (auto& operations : state.graph) {
      for (opnode& x : operations) {
        for (int_t t = 0; t < state.NPROCESSOR; ++t) {
          x.lpw[t] = pick(state.procOpNum[t] + 1);
          x.upw[t] = x.lpw[t] - 1 + pick(state.procOpNum[t] + 2 - x.lpw[t]);
        }
      }
    }
    for (int_t step = 0; step < 40; ++step) {
      const int_t pu = pick(3);
      const int_t pv = pick(3);
      opnode* u = op(pu, pick(state.procOpNum[pu]));
      opnode* v = op(pv, pick(state.procOpNum[pv]));
      if (ins_arc(u, v, pick(2) == 0 ? LO : RO) != 0) continue;
      const int_t full = check_cycle_for_rc();
      ASSERT_EQ(cycle_after_arc(u, v), full) << "round " << round << " step " << step;
      if (full == 1) del_arc(u, v, has_arc(u, v, LO) ? LO : RO);
    }
  }
}

}  // namespace
