// Legal baseline runs with many sessions of one lock, as qirn-gen simulates
// them (16 processors of 160 loads and stores, about 4,100 nodes, beyond the
// pair search): the decision must prove them legal within its budgets. Without the
// time order of the bound files only the sequence search can find the order
// of the sessions, and without the deadlock check it runs out of its budget
// on every run here: a store or acquire taken too early holds its address or
// lock while what it waits for can never run, and the backtracking only
// learns that choices deep below are wrong.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gen/files.h"
#include "gen/generate.h"
#include "locks/lock_graph.h"
#include "locks/lock_order.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"

namespace {

class LockDecisionScale : public TraceFixture {
 protected:
  LockVerdict decide_baseline(std::uint32_t seed, MCM_t model) {
    qirn_gen::GenConfig config;
    config.seed = seed;
    config.processors = 16;
    config.operations = 160;
    config.addresses = 64;
    config.locks = 1;
    const qirn_gen::GeneratedRun run = qirn_gen::generate(config);
    std::vector<std::string> traces;
    for (int32_t p = 0; p < config.processors; ++p)
      traces.push_back(qirn_gen::trace_text(run, config, p));
    reset_run_state();
    load(traces, model);
    construct_mapping();
    LockGraph g = build_lock_graph(model);
    return decide_lock_graph(g).verdict;
  }
};

TEST_F(LockDecisionScale, SixteenProcessorsOf160OperationsAreProvenLegal) {
  for (std::uint32_t seed : {1U, 6U}) {
    for (MCM_t model : {RC, ScC}) {
      EXPECT_EQ(decide_baseline(seed, model), LockVerdict::Legal)
          << (model == RC ? "RC" : "ScC") << ", seed " << seed;
    }
  }
}

}  // namespace
