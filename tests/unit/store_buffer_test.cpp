// SC, TSO and PSO verdicts against the machine with store buffers
// (support/store_buffer_machine.h) on tiny runs that qirn-gen simulates under
// SC, TSO or PSO, with fences in some, and with one load's value changed in
// four runs of five; those with bound files are also run in optimized mode.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "gen/generate.h"
#include "support/lock_trace_sets.h"
#include "support/store_buffer_machine.h"
#include "support/trace_fixture.h"

namespace {

using lock_reference::Kind;
using lock_reference::TraceSet;

// 2-3 processors of 2 to 5 loads and stores on 1-3 addresses, without locks;
// in every third run 30% of them are RMWs.
RunFiles random_files(std::uint32_t seed) {
  std::mt19937 draw(seed);
  qirn_gen::GenConfig config;
  config.seed = seed;
  config.processors = 2 + static_cast<int32_t>(draw() % 2);
  config.operations = 2 + static_cast<int32_t>(draw() % 4);
  config.addresses = 1 + static_cast<int32_t>(draw() % 3);
  config.locks = 0;
  config.model = static_cast<qirn_gen::MemoryModel>(draw() % 3);
  config.fences = static_cast<int32_t>(draw() % 3) * 15;
  config.rmw = seed % 3 == 0 ? 30 : 0;
  return run_files(qirn_gen::generate(config), config);
}

// In four sets of five, one load or RMW reads another value of its address:
// a store's or another RMW's of any processor and place, or 0.
void change_a_value(TraceSet& set, std::mt19937& draw) {
  std::vector<lock_reference::Op*> loads;
  std::vector<std::vector<int>> stored;
  for (auto& program : set.programs) {
    for (auto& op : program) {
      if (op.kind == Kind::Load || op.kind == Kind::Rmw) loads.push_back(&op);
      if (op.kind != Kind::Store && op.kind != Kind::Rmw) continue;
      if (stored.size() <= std::size_t(op.target)) stored.resize(op.target + 1);
      stored[op.target].push_back(op.value);
    }
  }
  if (loads.empty() || draw() % 5 == 4) return;
  lock_reference::Op& load = *loads[draw() % loads.size()];
  int& read = load.kind == Kind::Rmw ? load.read : load.value;
  std::vector<int> others = {0};
  if (std::size_t(load.target) < stored.size()) {
    others.insert(others.end(), stored[load.target].begin(), stored[load.target].end());
  }
  std::erase(others, read);
  std::erase(others, load.value);  // an RMW never reads what it writes
  if (!others.empty()) read = others[draw() % others.size()];
}

using StoreBufferModels = TraceFixture;

TEST_F(StoreBufferModels, VerdictsAreThoseOfTheMachine) {
  const int cases = count_from_env("QIRN_STORE_BUFFER_CASES", 150);
  for (const std::string model : {"SC", "TSO", "PSO"}) {
    int runs = 0;
    int violations = 0;
    int mismatches = 0;
    for (std::uint32_t seed = 1; seed <= std::uint32_t(cases); ++seed) {
      const RunFiles files = random_files(seed);
      TraceSet set = lock_reference::parse_set(files.traces, files.bounds);
      std::mt19937 draw(seed);
      change_a_value(set, draw);
      for (bool optimized : {false, true}) {
        TraceSet judged = lock_reference::in_mode(set, optimized);
        const bool legal = store_buffers::explains(judged, model);
        ++runs;
        violations += legal ? 0 : 1;
        const RunFiles written{lock_reference::trace_texts(set), lock_reference::bound_texts(set)};
        const RunVerdict verdict = verdict_of(run_on(written, model, optimized));
        if (verdict == (legal ? RunVerdict::Pass : RunVerdict::Violation) || ++mismatches > 3) {
          continue;
        }
        ADD_FAILURE() << model << (optimized ? " optimized" : " baseline") << ", set " << seed
                      << ": the machine says " << (legal ? "legal" : "violation") << ", qirn "
                      << name(verdict);
      }
    }
    std::printf("%s: %d runs, %d violations, %d mismatches\n", model.c_str(), runs, violations,
                mismatches);
    EXPECT_EQ(mismatches, 0) << model;
    EXPECT_GE(10 * violations, 3 * runs);
    EXPECT_GE(5 * (runs - violations), runs);
  }
}

}  // namespace
