// The search for a legal sequence, run on its own on the graphs of random
// tiny trace sets, against the brute-force reference: it must find a sequence
// exactly when the reference accepts the set, whatever order it tries its
// choices in, with or without the arcs from loads of the initial value.
//
// QIRN_LOCK_DIFF_CASES sets the number of trace sets per model and mode
// (default 300).
#include "locks/sequence_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "locks/lock_graph.h"
#include "support/lock_model_reference.h"
#include "support/lock_set_fixture.h"
#include "support/lock_trace_sets.h"

namespace {

using lock_reference::Model;
using lock_reference::TraceSet;

int cases_to_run() {
  const char* text = std::getenv("QIRN_LOCK_DIFF_CASES");
  return text != nullptr ? std::atoi(text) : 300;
}

class SequenceSearchTest : public LockSetFixture {
 protected:
  // A random order of the choices: the verdict must not depend on it.
  static std::vector<int_t> shuffled_rank(int_t nodes, std::uint32_t seed) {
    std::vector<int_t> rank(static_cast<std::size_t>(nodes));
    std::iota(rank.begin(), rank.end(), 0);
    std::shuffle(rank.begin(), rank.end(), std::mt19937(seed));
    return rank;
  }
};

TEST_F(SequenceSearchTest, FindsASequenceExactlyWhenTheReferenceAcceptsTheSet) {
  const int cases = cases_to_run();
  for (Model model : {Model::RC, Model::ScC}) {
    for (bool optimized : {true, false}) {
      int violations = 0;
      for (std::uint32_t seed = 1; seed <= std::uint32_t(cases); ++seed) {
        const TraceSet set =
            lock_reference::in_mode(lock_reference::random_set(model, seed, 6), optimized);
        const bool legal = lock_reference::legal(set, model);
        violations += legal ? 0 : 1;
        load_set(set, model == Model::RC ? RC : ScC);
        for (bool initialArcs : {true, false}) {
          const LockGraph g = build_lock_graph(model == Model::RC ? RC : ScC, initialArcs);
          if (g.orphanRelease) {
            EXPECT_FALSE(legal) << "set " << seed;
            continue;
          }
          const SequenceOutcome outcome =
              find_sequence(g, shuffled_rank(g.nodeCount, seed), 10'000'000);
          const SequenceResult expected = legal ? SequenceResult::Found : SequenceResult::None;
          EXPECT_EQ(outcome.result, expected)
              << (model == Model::RC ? "RC" : "ScC") << (optimized ? " optimized" : " baseline")
              << ", set " << seed << (initialArcs ? "" : ", without initial arcs") << "\n"
              << lock_reference::files_text(set, optimized);
        }
      }
      EXPECT_GE(10 * violations, 3 * cases);
    }
  }
}

}  // namespace
