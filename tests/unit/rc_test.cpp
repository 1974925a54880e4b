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

using ReleaseConsistency = TraceFixture;

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
    state->isBase = round % 2;
    for (auto& operations : state->graph) {
      for (opnode& x : operations) {
        for (int_t t = 0; t < state->NPROCESSOR; ++t) {
          x.lpw[t] = pick(state->procOpNum[t] + 1);
          x.upw[t] = x.lpw[t] - 1 + pick(state->procOpNum[t] + 2 - x.lpw[t]);
        }
      }
    }
    for (int_t step = 0; step < 40; ++step) {
      const int_t pu = pick(3);
      const int_t pv = pick(3);
      opnode* u = op(pu, pick(state->procOpNum[pu]));
      opnode* v = op(pv, pick(state->procOpNum[pv]));
      if (ins_arc(u, v, pick(2) == 0 ? LO : RO) != 0) continue;
      const int_t full = check_cycle_for_rc();
      ASSERT_EQ(cycle_after_arc(u, v), full) << "round " << round << " step " << step;
      if (full == 1) del_arc(u, v, has_arc(u, v, LO) ? LO : RO);
    }
  }
}

}  // namespace
