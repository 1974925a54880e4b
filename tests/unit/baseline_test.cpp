// Baseline SC, PC, TSO, PSO and WMO with implicit program order, checked against the stages
// that store every program-order arc.
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "baseline/cycle_check.h"
#include "baseline/order_index.h"
#include "derive/program_order.h"
#include "derive/write_to.h"
#include "gen/generate.h"
#include "graph/cycles.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"

namespace {

// Shapes drawn from the seed: one to five processors, up to thirty loads and
// stores each, one to four addresses, up to two locks and up to three stale
// loads, so that about half of the sets hold a cycle; every other set is
// simulated with TSO or PSO store buffers, with fences in some.
qirn_gen::GenConfig shape(std::uint64_t seed) {
  std::mt19937_64 draw(seed);
  qirn_gen::GenConfig c;
  c.seed = seed;
  c.processors = 1 + static_cast<int32_t>(draw() % 5);
  c.operations = 2 + static_cast<int32_t>(draw() % 29);
  c.addresses = 1 + static_cast<int32_t>(draw() % 4);
  c.locks = static_cast<int32_t>(draw() % 3);
  c.lockShare = static_cast<int32_t>(draw() % 80);
  c.violations = static_cast<int32_t>(draw() % 4);
  if (seed % 2 == 0) {
    c.model = seed % 4 == 0 ? qirn_gen::MemoryModel::TSO : qirn_gen::MemoryModel::PSO;
    c.fences = static_cast<int32_t>(draw() % 3) * 10;
  }
  return c;
}

// The same run with the values of its stores folded onto 1 to `kinds`, so
// that several stores write one value and the store a load read is a guess.
std::vector<std::string> folded(const std::vector<std::string>& texts, int kinds) {
  std::vector<std::string> out;
  for (const std::string& text : texts) {
    std::istringstream lines(text);
    std::string line;
    std::string kept;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      std::string op;
      long addr = 0;
      long value = 0;
      if ((words >> op >> addr >> value) && (op == "load" || op == "store") && value > 0)
        line = op + " " + std::to_string(addr) + " " + std::to_string((value - 1) % kinds + 1);
      kept += line + "\n";
    }
    out.push_back(kept);
  }
  return out;
}

class BaselineOrder : public TraceFixture {
 protected:
  void load_mapped(const std::vector<std::string>& texts, MCM_t model) {
    TearDown();
    SetUp();
    load(texts, model);
    state->operationTimes = times_;
    construct_mapping();
  }

  // The traces of the seed's shape, simulated under WMO for odd seeds, and
  // their times stamped.
  std::vector<std::string> timed_traces(int seed) {
    qirn_gen::GenConfig config = shape(static_cast<std::uint64_t>(seed));
    if (seed % 2 == 1) config.model = qirn_gen::MemoryModel::WMO;
    std::vector<std::string> texts = run_files(qirn_gen::generate(config), config).traces;
    stamp_times(texts, static_cast<std::uint64_t>(seed));
    return texts;
  }

  // Begin times that never fall along a thread, with ties, and end times on
  // most loads, a few ticks after their begin: so a load's times order a
  // suffix of its thread after it, or nothing.
  void stamp_times(const std::vector<std::string>& texts, std::uint64_t seed) {
    times_.clear();
    load_mapped(texts, WMO);
    std::mt19937_64 draw(seed);
    for (int_t p = 0; p < state->NPROCESSOR; ++p) {
      std::int64_t tick = 0;
      auto& thread = times_.emplace_back();
      for (int_t k = 0; k < state->procOpNum[p]; ++k) {
        tick += static_cast<std::int64_t>(draw() % 3);
        OperationTimes& times = thread.emplace_back();
        times.begin = tick;
        if (node_at(p, k)->optype == LOAD && draw() % 5 != 0)
          times.end = tick + static_cast<std::int64_t>(draw() % 8);
      }
    }
  }

  // What the cycle check prints after every program-order arc is stored:
  // under SC and PC the cycle of the older reader rule when it closes one.
  std::string with_stored_order(const std::vector<std::string>& texts, MCM_t model) {
    if (model == SC || model == PC) {
      const std::string earlier = with_stored_order(texts, model, false);
      if (earlier != "0\n") return earlier;
    }
    return with_stored_order(texts, model, true);
  }

  std::string with_stored_order(const std::vector<std::string>& texts, MCM_t model,
                                bool ownReaders) {
    load_mapped(texts, model);
    add_lo_arc(model);
    add_wt_arc();
    add_io_arc_baseline(ownReaders);
    return printed([] { std::printf("%d\n", check_cycle()); });
  }

  std::string with_implicit_order(const std::vector<std::string>& texts, MCM_t model,
                                  std::size_t linkListBudget) {
    load_mapped(texts, model);
    add_wt_arc();
    return printed([=] { std::printf("%d\n", verify_baseline_order(linkListBudget)); });
  }

  void expect_implicit_prints_stored(const std::vector<std::string>& texts, MCM_t model,
                                     const std::string& what, int& cycles) {
    const std::string expected = with_stored_order(texts, model);
    for (std::size_t budget :
         {std::size_t{0}, std::size_t{3}, std::numeric_limits<std::size_t>::max()}) {
      EXPECT_EQ(with_implicit_order(texts, model, budget), expected)
          << what << " " << model << " budget " << budget;
    }
    cycles += expected.find("violation") != std::string::npos ? 1 : 0;
  }

  // Sweeping from the end, each operation reaches what it keeps its order
  // with and all those reach.
  static void expect_closure(const OrderIndex& index, const std::vector<opnode>& operations,
                             const std::string& what) {
    const std::size_t n = operations.size();
    std::vector<std::vector<bool>> reach(n, std::vector<bool>(n, false));
    for (std::size_t u = n; u-- > 0;) {
      for (std::size_t v = u + 1; v < n; ++v) {
        if (!keeps_order(state->MC, &operations[u], &operations[v])) continue;
        reach[u][v] = true;
        for (std::size_t w = v + 1; w < n; ++w) reach[u][w] = reach[u][w] || reach[v][w];
      }
    }
    for (std::size_t u = 0; u < n; ++u) {
      for (std::size_t v = 0; v < n; ++v) {
        if (!is_access(&operations[u]) || !is_access(&operations[v])) continue;
        EXPECT_EQ(index.reaches(&operations[u], &operations[v]), reach[u][v])
            << what << " " << state->MC << " " << u << " -> " << v;
      }
    }
  }

  std::vector<std::vector<OperationTimes>> times_;
};

TEST_F(BaselineOrder, PrintsWhatTheStoredArcsPrintOnGeneratedTraces) {
  int cycles = 0;
  const int runs = count_from_env("QIRN_DIFFERENTIAL_RUNS", 40);
  for (int seed = 1; seed <= runs; ++seed) {
    const qirn_gen::GenConfig config = shape(static_cast<std::uint64_t>(seed));
    std::vector<std::string> texts = run_files(qirn_gen::generate(config), config).traces;
    if (seed % 3 == 0) texts = folded(texts, 2 + seed % 4);
    for (MCM_t model : {SC, PC, TSO, PSO, WMO})
      expect_implicit_prints_stored(texts, model, "seed " + std::to_string(seed), cycles);
  }
  EXPECT_GT(cycles, runs / 4);
}

// What the index reaches before any arc is added is what the model's program
// order reaches within each processor, times included.
TEST_F(BaselineOrder, IndexStartsFromTheClosureOfProgramOrder) {
  const int runs = count_from_env("QIRN_DIFFERENTIAL_RUNS", 40);
  for (int seed = 1; seed <= runs; ++seed) {
    const std::vector<std::string> texts = timed_traces(seed);
    for (MCM_t model : {SC, PC, TSO, PSO, WMO}) {
      load_mapped(texts, model);
      const OrderIndex index;
      for (const auto& operations : state->graph)
        expect_closure(index, operations, "seed " + std::to_string(seed));
    }
  }
}

// WMO keeps a load before every later operation its times show began after
// it ended; those arcs reach the index as where the load opens to its thread.
TEST_F(BaselineOrder, PrintsWhatTheStoredArcsPrintUnderTimedWmo) {
  int cycles = 0;
  const int runs = count_from_env("QIRN_DIFFERENTIAL_RUNS", 40);
  for (int seed = 1; seed <= runs; ++seed) {
    const std::vector<std::string> texts = timed_traces(seed);
    expect_implicit_prints_stored(texts, WMO, "seed " + std::to_string(seed), cycles);
  }
  EXPECT_GT(cycles, runs / 4);
}

}  // namespace
