// qirn's release consistency verdict against the exhaustive pairing search,
// on small random trace sets in both modes: every byte printed must agree.
//
// The trace sets are simulated runs of qirn-gen (several locks, sessions of
// different locks that overlap in time, injected stale loads), then altered
// so that they also hold sessions whose release names another lock than their
// acquire, releases that end no session, and loads of values written later. QIRN_RC_DIFF_CASES sets
// the number of trace sets (default 300; the slow label runs 5,000).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bounds/windows.h"
#include "gen/generate.h"
#include "graph/cycles.h"
#include "rc/pairing_search.h"
#include "rc/propagation.h"
#include "run/driver.h"
#include "support/literal_pairing_search.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/trace_reader.h"

namespace {

using qirn_gen::GenConfig;
using qirn_gen::GeneratedRun;
using qirn_gen::OpKind;

struct TraceSet {
  RunFiles files;
  bool orphanRelease = false;  // a release that ends no session
  bool crossLock = false;      // a session whose release names another lock
};

void classify(const GeneratedRun& run, TraceSet& set) {
  for (const auto& program : run.programs) {
    const qirn_gen::GenOp* last_lock = nullptr;
    for (const auto& op : program) {
      if (!qirn_gen::is_lock_op(op)) continue;
      if (op.kind == OpKind::Release) {
        const bool ends_session = last_lock != nullptr && last_lock->kind == OpKind::Acquire;
        set.orphanRelease |= !ends_session;
        set.crossLock |= ends_session && last_lock->target != op.target;
      }
      last_lock = &op;
    }
  }
}

// Makes a load of one processor return what a store of another wrote, at
// any time of the run, earlier or later.
void read_any_store(GeneratedRun& run, std::mt19937& random) {
  auto& programs = run.programs;
  const auto pick = [&random](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  auto& reader = programs[pick(programs.size())];
  const auto& writer = programs[pick(programs.size())];
  auto& load = reader[pick(reader.size())];
  const auto& store = writer[pick(writer.size())];
  if (&reader == &writer || load.kind != OpKind::Load || store.kind != OpKind::Store) return;
  load.target = store.target;
  load.value = store.value;
}

// Relabels lock operations, turns acquires or loads into releases, appends
// releases and redirects loads, each now and then; sequence numbers stay as
// they were, so the bound files still fit.
void alter(GeneratedRun& run, std::mt19937& random) {
  std::uniform_int_distribution<int> percent(0, 199);
  for (auto& program : run.programs) {
    for (auto& op : program) {
      const int roll = percent(random);
      if (qirn_gen::is_lock_op(op) && roll < 16) op.target = (op.target + 1) % 3;
      if (op.kind == OpKind::Acquire && roll == 199) op.kind = OpKind::Release;
      if (op.kind == OpKind::Load && roll == 198) op = {OpKind::Release, 0, 0, 0, 0, 0};
    }
    if (percent(random) < 2) program.push_back({OpKind::Release, 1, 0, 0, 0, 0});
  }
  for (int redirect = percent(random) % 4; redirect > 0; --redirect) read_any_store(run, random);
}

using Pick = std::function<int(int, int)>;

void random_scans(GeneratedRun& run, const Pick& pick) {
  const int scans = pick(1, 3);
  run.scans.resize(static_cast<std::size_t>(scans));
  for (const auto& program : run.programs) {
    std::vector<std::int32_t> ends;
    for (int k = 0; k < 2 * scans; ++k) ends.push_back(pick(0, int(program.size())));
    std::sort(ends.begin(), ends.end());
    for (int k = 0; k < scans; ++k) {
      run.scans[k].lb.push_back(ends[k]);
      run.scans[k].ub.push_back(ends[k + scans]);
    }
  }
}

// A simulated run of qirn-gen: the sessions of one lock never overlap in
// time, those of different locks may.
GeneratedRun simulated_run(std::uint64_t seed, const Pick& pick) {
  GenConfig config;
  config.seed = seed;
  config.processors = pick(2, 4);
  config.operations = pick(2, 12 / config.processors + 2);
  config.addresses = pick(1, 3);
  config.locks = pick(1, 3);
  config.lockShare = pick(30, 90);
  config.scanDistance = pick(1, 12);
  config.violations = pick(0, 3) == 0 ? pick(1, 2) : 0;
  return qirn_gen::generate(config);
}

// Sessions, loads and stores in random order, each load returning the value
// of a random store of another processor (or the initial 0), and random
// bounds that only keep their invariants: within the trace and never
// decreasing.
GeneratedRun random_run(const Pick& pick) {
  GeneratedRun run;
  run.programs.resize(static_cast<std::size_t>(pick(2, 4)));
  std::int32_t value = 0;
  const auto access = [&](qirn_gen::Program& program) {
    if (pick(0, 1) == 0) return program.push_back({OpKind::Load, 0, 0, 0, 0, 0});
    program.push_back({OpKind::Store, pick(0, 1), ++value, 0, 0, 0});
  };
  for (auto& program : run.programs) {
    for (int item = pick(2, 4); item > 0; --item) {
      if (pick(0, 3) == 0) {
        access(program);
        continue;
      }
      const int lock = pick(0, 2);
      program.push_back({OpKind::Acquire, lock, 0, 0, 0, 0});
      for (int inner = pick(1, 2); inner > 0; --inner) access(program);
      program.push_back({OpKind::Release, lock, 0, 0, 0, 0});
    }
  }
  for (auto& reader : run.programs) {
    std::vector<const qirn_gen::GenOp*> stores;
    for (const auto& writer : run.programs) {
      for (const auto& op : writer) {
        if (&writer != &reader && op.kind == OpKind::Store) stores.push_back(&op);
      }
    }
    for (auto& op : reader) {
      if (op.kind != OpKind::Load || stores.empty() || pick(0, 5) == 0) continue;
      const auto* store = stores[static_cast<std::size_t>(pick(0, int(stores.size()) - 1))];
      op.target = store->target;
      op.value = store->value;
    }
  }
  random_scans(run, pick);
  return run;
}

// Odd seeds simulate a run, even seeds draw one at random; both are then
// altered.
TraceSet random_trace_set(std::uint64_t seed) {
  std::mt19937 random(static_cast<std::uint32_t>(seed));
  const Pick pick = [&random](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(random);
  };
  GeneratedRun run = seed % 2 == 1 ? simulated_run(seed, pick) : random_run(pick);
  alter(run, random);
  TraceSet set;
  classify(run, set);
  GenConfig config;
  config.seed = seed;
  set.files = run_files(run, config);
  return set;
}

// Whether some load completed before the store it reads was issued; such a
// run stops before any verdict.
bool load_precedes_its_store() {
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      if (node.optype == LOAD && check_TO(&node, st_mapping(&node)) == 1) return true;
    }
  }
  return false;
}

class RcDifferential : public TraceFixture {
 protected:
  // What the verdict prints on the graph an RC run has when its search
  // begins; nullopt when the check before the search already finds a cycle.
  template <typename Verdict>
  std::optional<std::string> verdict_output(const TraceSet& set, bool optimized, Verdict verdict) {
    reset_run_state();
    state->MC = RC;
    state->NPROCESSOR = static_cast<int_t>(set.files.traces.size());
    state->QIRNTFRES = write_files("tfres", set.files.traces);
    state->QIRNBOUND = write_files("boundgt", set.files.bounds);
    state->isBase = optimized ? 0 : 1;
    get_proc_op_num();
    state->NOPLIST = max(state->procOpNum.data(), state->NPROCESSOR);
    read_inputs();
    if (optimized && load_precedes_its_store()) return std::nullopt;
    derive_arcs();
    add_lo_for_sync();
    if (printed(check_cycle).size() > 0) return std::nullopt;
    return printed(verdict);
  }
};

TEST_F(RcDifferential, VerdictPrintsWhatTheExhaustiveSearchPrints) {
  const int cases = count_from_env("QIRN_RC_DIFF_CASES", 300);
  for (bool optimized : {false, true}) {
    int violations = 0;
    int compared = 0;
    int orphans = 0;
    int cross = 0;
    for (int c = 1; c <= cases; ++c) {
      const TraceSet set = random_trace_set(static_cast<std::uint64_t>(c));
      const auto expected = verdict_output(set, optimized, literal_check_for_rc);
      const auto actual = verdict_output(set, optimized, check_for_rc);
      ASSERT_EQ(actual, expected) << "trace set " << c << (optimized ? " optimized" : " baseline");
      if (!expected) continue;
      ++compared;
      orphans += set.orphanRelease ? 1 : 0;
      cross += set.crossLock ? 1 : 0;
      if (expected->find("has violation!") != std::string::npos && !set.orphanRelease) ++violations;
    }
    std::printf(
        "%s: %d of %d trace sets reach the verdict; %d with a release ending no session, %d "
        "other violations; %d with a session of two locks\n",
        optimized ? "optimized" : "baseline", compared, cases, orphans, violations, cross);
    EXPECT_GT(violations, compared / 30);
    EXPECT_GT(compared - violations - orphans, compared / 4);
  }
}

}  // namespace
