// qirn's RC and ScC verdicts, in both modes, against the brute-force
// reference of the README section "What the RC and ScC verdicts mean", on
// random tiny trace sets; the search for a legal sequence, run on its own on
// the same sets' graphs: it must find one exactly when the reference accepts
// the set, whatever order it tries its choices in, with or without the arcs
// from loads of the initial value; in baseline mode, the witness of a
// violation without a cycle, which must admit no order and need every
// operation it keeps. (The scenarios whose verdict follows from the
// definition by hand are e2e cases of qirn itself.)
//
// QIRN_LOCK_DIFF_CASES sets the number of trace sets per model and mode
// (default 300; the slow label runs 5,000).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "gen/generate.h"
#include "locks/lock_core.h"
#include "locks/lock_graph.h"
#include "locks/lock_order.h"
#include "locks/sequence_search.h"
#include "support/lock_model_reference.h"
#include "support/lock_trace_sets.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"

namespace {

using lock_reference::bound_texts;
using lock_reference::files_text;
using lock_reference::Model;
using lock_reference::trace_texts;
using lock_reference::TraceSet;

const char* name(Model model) {
  return model == Model::RC ? "RC" : "ScC";
}

// A random order of the choices: the verdict must not depend on it.
std::vector<int_t> shuffled_rank(int_t nodes, std::uint32_t seed) {
  std::vector<int_t> rank(static_cast<std::size_t>(nodes));
  std::iota(rank.begin(), rank.end(), 0);
  std::shuffle(rank.begin(), rank.end(), std::mt19937(seed));
  return rank;
}

using Place = std::pair<int_t, int_t>;  // processor, sequence number

// The operations of the set at the places kept.
TraceSet cut_down(const TraceSet& set, const std::set<Place>& kept) {
  TraceSet cut;
  for (std::size_t p = 0; p < set.programs.size(); ++p) {
    cut.programs.emplace_back();
    for (std::size_t s = 0; s < set.programs[p].size(); ++s) {
      if (kept.count({int_t(p), int_t(s)}) != 0) cut.programs.back().push_back(set.programs[p][s]);
    }
  }
  return cut;
}

// The places that go together with the operation x: its session's other
// end, or the loads of a store, and of each RMW among them.
std::set<Place> unit_of(const LockGraph& g, const opnode* x) {
  std::set<Place> unit{{x->proc_num, x->seq_num}};
  std::function<void(int_t)> add = [&](int_t id) {
    const opnode* y = g.operations[std::size_t(id)];
    if (!unit.insert({y->proc_num, y->seq_num}).second) return;
    for (int_t r : g.readers[std::size_t(id)]) add(r);
  };
  for (const auto& sessions : g.sessionsOfLock) {
    for (const LockSession& s : sessions) {
      if (s.acquire == x->id || s.release == x->id) {
        add(s.acquire);
        add(s.release);
      }
    }
  }
  for (int_t r : g.readers[std::size_t(x->id)]) add(r);
  return unit;
}

// Whether `from` reaches `to` along the graph's arcs, for every pair.
std::vector<std::vector<char>> closure(const LockGraph& g) {
  std::vector<std::vector<char>> reach(g.out.size(), std::vector<char>(g.out.size(), 0));
  for (std::size_t from = 0; from < g.out.size(); ++from) {
    std::vector<int_t> stack{int_t(from)};
    while (!stack.empty()) {
      const int_t x = stack.back();
      stack.pop_back();
      for (const LockArc& arc : g.out[std::size_t(x)]) {
        if (reach[from][std::size_t(arc.to)] != 0) continue;
        reach[from][std::size_t(arc.to)] = 1;
        stack.push_back(arc.to);
      }
    }
  }
  return reach;
}

// The passes that added arcs, and whether the arcs closed a cycle.
struct LiteralInference {
  int passes = 0;
  bool cycle = false;
};

// The inference exactly as its rule reads: each pass asks every pair of each
// lock's sessions and of each address's stores, later one first, on the
// closure as the pass starts, and adds all it forces at once; it ends when a
// pass adds nothing or the arcs close a cycle.
LiteralInference literal_lock_inference(LockGraph& g) {
  for (LiteralInference run;; ++run.passes) {
    const auto reach = closure(g);
    const auto r = [&](int_t from, int_t to) {
      return reach[std::size_t(from)][std::size_t(to)] != 0;
    };
    for (std::size_t n = 0; n < g.out.size(); ++n) {
      if (r(int_t(n), int_t(n))) return {run.passes, true};
    }
    std::vector<std::pair<int_t, LockArc>> arcs;
    const auto force = [&](int_t from, int_t to, ORDER_t tag) {
      if (!r(from, to)) arcs.push_back({from, {to, tag}});
    };
    for (const auto& sessions : g.sessionsOfLock) {
      for (std::size_t i = 0; i < sessions.size(); ++i) {
        for (std::size_t j = i + 1; j < sessions.size(); ++j) {
          const LockSession& s = sessions[i];
          const LockSession& t = sessions[j];
          if (r(t.acquire, s.release)) force(t.release, s.acquire, Syn);
          if (r(s.acquire, t.release)) force(s.release, t.acquire, Syn);
        }
      }
    }
    const auto precedes = [&](int_t v, int_t w) {
      const auto& loads = g.readers[std::size_t(w)];
      return r(v, w) || std::any_of(loads.begin(), loads.end(), [&](int_t x) { return r(v, x); });
    };
    const auto force_stores = [&](int_t v, int_t w) {
      force(v, w, IO);
      for (int_t x : g.readers[std::size_t(v)]) {
        if (x != w) force(x, w, IO);
      }
    };
    for (const auto& stores : g.storesOfAddress) {
      for (std::size_t i = 0; i < stores.size(); ++i) {
        for (std::size_t j = i + 1; j < stores.size(); ++j) {
          if (precedes(stores[i], stores[j])) force_stores(stores[i], stores[j]);
          if (precedes(stores[j], stores[i])) force_stores(stores[j], stores[i]);
        }
      }
    }
    if (arcs.empty()) return run;
    for (const auto& [from, arc] : arcs) g.arc(from, arc.to, arc.tag);
  }
}

struct Tally {
  int sets = 0;
  int violations = 0;
  int mismatches = 0;
  int cores = 0;
  double referenceSeconds = 0;
};

class LockModels : public TraceFixture {
 protected:
  // The traces, the bound files when the set has them, the read-from mapping
  // and the pending windows, as a run reads them.
  void load_set(const TraceSet& set, MCM_t model) {
    load_files(trace_texts(set), bound_texts(set), model);
  }

  // The same for trace and bound files as text; no bound files is baseline
  // mode.
  void load_files(const std::vector<std::string>& traces, const std::vector<std::string>& bounds,
                  MCM_t model) {
    reset_run_state();
    load(traces, model, bounds);
    construct_mapping();
    if (bounds.empty()) return;
    calculatePendingWindow();
    calculateCompletionScans();
  }

  void report(const TraceSet& set, Model model, bool optimized, std::uint32_t seed, bool legal,
              const std::string& run) {
    std::string command = "qirn";
    for (const std::string& word :
         set_arguments(set.programs.size(), name(model), optimized, "DIR")) {
      command += " " + word;
    }
    ADD_FAILURE() << name(model) << (optimized ? " optimized" : " baseline") << ", set " << seed
                  << ": the reference says " << (legal ? "legal" : "violation") << ", qirn "
                  << name(verdict_of(run)) << "\n"
                  << files_text(set, optimized) << "--- these files in DIR/, " << command << "\n"
                  << run;
  }

  // The sequence search on the set's graph, with and without the initial
  // arcs, ranked at random and by program order, and once more asking the
  // inference to refute its states after every choice that goes no deeper:
  // whatever the rank and the refutations, it finds a sequence exactly when
  // the set is legal. A legal set's graph is acyclic,
  // so taking the operations of cycles out of the chains always ends in a rank.
  void expect_search_finds(const TraceSet& set, Model model, bool optimized, std::uint32_t seed,
                           bool legal) {
    const MCM_t mcm = model == Model::RC ? RC : ScC;
    load_set(lock_reference::in_mode(set, optimized), mcm);
    for (bool initialArcs : {true, false}) {
      const LockGraph g = build_lock_graph(mcm, initialArcs);
      if (g.orphanRelease) {
        EXPECT_FALSE(legal) << "set " << seed;
        continue;
      }
      std::vector<std::vector<int_t>> ranks = {shuffled_rank(g.nodeCount, seed)};
      const std::optional<std::vector<int_t>> ordered = program_order_rank(g);
      EXPECT_TRUE(ordered || !legal) << "no rank by program order: set " << seed;
      if (ordered) ranks.push_back(*ordered);
      Refutation refutation = refutation_by_inference(g);
      refutation.stallChoices = 1;
      refutation.calls = 1'000'000;
      for (const std::vector<int_t>& rank : ranks) {
        for (const Refutation& refuting : {Refutation{}, refutation}) {
          const SequenceOutcome outcome = find_sequence(g, rank, 10'000'000, refuting);
          EXPECT_EQ(outcome.result, legal ? SequenceResult::Found : SequenceResult::None)
              << "the search: " << name(model) << (optimized ? " optimized" : " baseline")
              << ", set " << seed << (initialArcs ? "" : ", without initial arcs")
              << (&rank == &ranks.front() ? "" : ", ranked by program order")
              << (refuting.refute ? ", refuting every stall" : "") << "\n"
              << files_text(set, optimized);
        }
      }
    }
  }

  // The witness of a baseline violation without a cycle: the operations it
  // keeps admit no order as a trace set of their own, and leaving out any
  // one of them (a session's acquire and release together, a store with its
  // loads) admits one. A legal set has none.
  void expect_core(const TraceSet& set, Model model, std::uint32_t seed, bool legal, Tally& tally) {
    const MCM_t mcm = model == Model::RC ? RC : ScC;
    load_set(set, mcm);
    const std::optional<FoundCore> core = find_core(mcm);
    ASSERT_EQ(core.has_value(), !legal) << "the core: set " << seed;
    if (!core) return;
    ++tally.cores;
    std::set<Place> kept;
    for (const opnode* x : core->nodes) kept.insert({x->proc_num, x->seq_num});
    EXPECT_FALSE(lock_reference::legal(cut_down(set, kept), model)) << "the core: set " << seed;
    const LockGraph full = build_lock_graph(mcm);
    for (const opnode* x : core->nodes) {
      std::set<Place> rest = kept;
      for (const Place& place : unit_of(full, x)) rest.erase(place);
      EXPECT_TRUE(lock_reference::legal(cut_down(set, rest), model))
          << "the core: set " << seed << ": G[" << x->proc_num << "][" << x->seq_num
          << "] can be left out\n"
          << files_text(set, false);
    }
  }

  Tally compare(Model model, bool optimized, int cases) {
    Tally tally;
    for (std::uint32_t seed = 1; seed <= std::uint32_t(cases); ++seed) {
      const TraceSet set = lock_reference::random_set(model, seed, 6);
      const auto start = std::chrono::steady_clock::now();
      const bool legal = lock_reference::legal(lock_reference::in_mode(set, optimized), model);
      tally.referenceSeconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const std::string outcome =
          run_on({trace_texts(set), bound_texts(set)}, name(model), optimized);
      ++tally.sets;
      tally.violations += legal ? 0 : 1;
      expect_search_finds(set, model, optimized, seed, legal);
      if (!optimized) expect_core(lock_reference::in_mode(set, false), model, seed, legal, tally);
      if (verdict_of(outcome) == (legal ? RunVerdict::Pass : RunVerdict::Violation)) continue;
      if (++tally.mismatches <= 3) report(set, model, optimized, seed, legal, outcome);
    }
    return tally;
  }
};

TEST_F(LockModels, VerdictsSearchAndCoresAgreeWithTheReference) {
  const int cases = count_from_env("QIRN_LOCK_DIFF_CASES", 300);
  for (Model model : {Model::RC, Model::ScC}) {
    for (bool optimized : {true, false}) {
      const Tally tally = compare(model, optimized, cases);
      std::printf(
          "%s %s: %d sets, %d violations by the reference (%.0f%%), %d mismatches; "
          "reference %.2f s\n",
          name(model), optimized ? "optimized" : "baseline", tally.sets, tally.violations,
          100.0 * tally.violations / tally.sets, tally.mismatches, tally.referenceSeconds);
      EXPECT_EQ(tally.mismatches, 0) << name(model) << (optimized ? " optimized" : " baseline");
      EXPECT_GE(10 * tally.violations, 3 * tally.sets);
      EXPECT_GE(4 * (tally.sets - tally.violations), tally.sets);
      EXPECT_GE(tally.cores, optimized ? 0 : 30);
    }
  }
}

// A run that qirn-gen simulates, with most of its accesses in sessions of
// up to four locks, up to 16 operations per processor and, on some seeds, a
// stale load or a planted lock violation.
RunFiles simulated_lock_run(std::uint32_t seed) {
  std::mt19937 random(seed);
  const auto pick = [&random](int lo, int hi) {
    return std::uniform_int_distribution<int>(lo, hi)(random);
  };
  qirn_gen::GenConfig config;
  config.seed = seed;
  config.processors = pick(2, 4);
  config.operations = pick(4, 16);
  config.addresses = pick(1, 4);
  config.locks = pick(1, 4);
  config.lockShare = pick(20, 90);
  config.scanDistance = pick(1, 12);
  config.violations = pick(0, 3) == 0 ? 1 : 0;
  config.lockViolations = pick(0, 3) == 0 ? 1 : 0;
  return run_files(qirn_gen::generate(config), config);
}

// The inference adds the arcs of its literal rule, in their order, and closes
// a cycle exactly when the rule does, on simulated runs in both modes, with
// and without the arcs from loads of 0.
TEST_F(LockModels, InferenceAddsTheArcsOfItsLiteralRuleInOrder) {
  const int cases = count_from_env("QIRN_LOCK_DIFF_CASES", 300);
  int repeated = 0;
  for (std::uint32_t seed = 1; seed <= std::uint32_t(cases); ++seed) {
    const RunFiles files = simulated_lock_run(seed);
    for (MCM_t model : {RC, ScC}) {
      for (bool optimized : {true, false}) {
        load_files(files.traces, optimized ? files.bounds : std::vector<std::string>{}, model);
        for (bool initialArcs : {true, false}) {
          LockGraph inferred = build_lock_graph(model, initialArcs);
          LockGraph literal = inferred;
          const bool cycle = infer_lock_orders(inferred).has_value();
          const LiteralInference rule = literal_lock_inference(literal);
          repeated += rule.passes >= 2 ? 1 : 0;
          ASSERT_TRUE(inferred.out == literal.out && cycle == rule.cycle)
              << (model == RC ? "RC" : "ScC") << (optimized ? " optimized" : " baseline")
              << ", seed " << seed << (initialArcs ? "" : ", without initial arcs");
        }
      }
    }
  }
  std::printf("%d of %d graphs took two passes that add arcs or more\n", repeated, 8 * cases);
  EXPECT_GE(10 * repeated, 8 * cases);
}

}  // namespace
