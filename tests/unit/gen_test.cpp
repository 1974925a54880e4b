// Invariants of the simulated runs that qirn-gen writes out, its violation
// injector, file errors and options.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gen/files.h"
#include "gen/generate.h"
#include "gen/options.h"

namespace {

using qirn_gen::GenConfig;
using qirn_gen::GeneratedRun;
using qirn_gen::GenOp;
using qirn_gen::OpKind;

// A spread of shapes: up to five processors, no lock to two locks, every
// access in a session on some seeds, and scans from every tick to one only.
std::vector<std::pair<GenConfig, GeneratedRun>> runs() {
  std::vector<std::pair<GenConfig, GeneratedRun>> result;
  for (uint64_t seed = 1; seed <= 12; ++seed) {
    GenConfig c;
    c.seed = seed;
    c.processors = 2 + static_cast<int32_t>(seed % 4);
    c.operations = 5 + static_cast<int32_t>(seed * 7 % 30);
    c.addresses = 1 + static_cast<int32_t>(seed % 3);
    c.locks = static_cast<int32_t>(seed % 3);
    c.lockShare = seed % 4 == 0 ? 100 : 50;
    c.scanDistance = seed % 5 == 0 ? 1000 : 1 + static_cast<int32_t>(seed % 6);
    result.emplace_back(c, qirn_gen::generate(c));
  }
  return result;
}

// Effects keep program order and lie between issue and completion; store
// values are non-zero and unique per address, and a load returns what the
// stores that took effect before it left in memory.
TEST(GenSimulation, LoadsReturnMemoryAtTheirEffectInProgramOrder) {
  for (const auto& [config, run] : runs()) {
    std::vector<const GenOp*> accesses;
    for (const auto& program : run.programs) {
      for (size_t s = 0; s < program.size(); ++s) {
        EXPECT_LT(program[s].issued, program[s].effect);
        EXPECT_LE(program[s].effect, program[s].completed);
        if (s > 0) {
          EXPECT_LT(program[s - 1].effect, program[s].effect) << "seed " << config.seed;
        }
        if (!qirn_gen::is_lock_op(program[s])) accesses.push_back(&program[s]);
      }
    }
    std::sort(accesses.begin(), accesses.end(),
              [](const GenOp* a, const GenOp* b) { return a->effect < b->effect; });
    std::map<int32_t, int32_t> memory;
    std::set<std::pair<int32_t, int32_t>> written;
    for (const GenOp* op : accesses) {
      if (op->kind == OpKind::Store) {
        EXPECT_NE(op->value, 0) << "seed " << config.seed;
        EXPECT_TRUE(written.insert({op->target, op->value}).second) << "seed " << config.seed;
        memory[op->target] = op->value;
      } else {
        EXPECT_EQ(op->value, memory[op->target]) << "seed " << config.seed;
      }
    }
  }
}

// Per processor, acquires and releases alternate, start with an acquire, name
// the same lock and end released; a lock operation waits for everything
// before it; sessions of one lock never overlap in time.
TEST(GenSimulation, SessionsPairUpAndExcludeEachOtherInTime) {
  for (const auto& [config, run] : runs()) {
    std::map<int32_t, std::vector<std::pair<int64_t, int64_t>>> sessions;
    for (const auto& program : run.programs) {
      const GenOp* open = nullptr;
      for (size_t s = 0; s < program.size(); ++s) {
        const GenOp& op = program[s];
        if (!qirn_gen::is_lock_op(op)) continue;
        if (s > 0) {
          EXPECT_LT(program[s - 1].completed, op.effect);
        }
        if (op.kind == OpKind::Acquire) {
          ASSERT_EQ(open, nullptr) << "nested acquire, seed " << config.seed;
          open = &op;
          continue;
        }
        ASSERT_NE(open, nullptr) << "release without acquire, seed " << config.seed;
        EXPECT_EQ(open->target, op.target);
        sessions[op.target].emplace_back(open->effect, op.effect);
        open = nullptr;
      }
      EXPECT_EQ(open, nullptr) << "session left open, seed " << config.seed;
    }
    for (auto& [lock, spans] : sessions) {
      std::sort(spans.begin(), spans.end());
      for (size_t i = 1; i < spans.size(); ++i) {
        EXPECT_LT(spans[i - 1].second, spans[i].first)
            << "lock " << lock << ", seed " << config.seed;
      }
    }
  }
}

// Below lb everything had completed at the scan, from ub on nothing had been
// issued; the bounds are exact, in range and never decrease, and the last
// scan follows every completion.
TEST(GenScans, BoundsAreExactStayInRangeAndNeverDecrease) {
  for (const auto& [config, run] : runs()) {
    ASSERT_FALSE(run.scans.empty());
    for (size_t p = 0; p < run.programs.size(); ++p) {
      const auto& program = run.programs[p];
      const int32_t length = static_cast<int32_t>(program.size());
      for (size_t k = 0; k < run.scans.size(); ++k) {
        const auto& row = run.scans[k];
        const int32_t lb = row.lb[p];
        const int32_t ub = row.ub[p];
        ASSERT_TRUE(0 <= lb && lb <= ub && ub <= length) << "seed " << config.seed;
        EXPECT_TRUE(lb == 0 || program[lb - 1].completed <= row.tick);
        EXPECT_TRUE(lb == length || program[lb].completed > row.tick);
        EXPECT_TRUE(ub == 0 || program[ub - 1].issued <= row.tick);
        EXPECT_TRUE(ub == length || program[ub].issued > row.tick);
        if (k == 0) continue;
        EXPECT_LE(run.scans[k - 1].lb[p], lb);
        EXPECT_LE(run.scans[k - 1].ub[p], ub);
      }
      EXPECT_EQ(run.scans.back().lb[p], length) << "seed " << config.seed;
    }
  }
}

// Injection comes after the run, so the same seed without violations gives
// the faithful run: exactly the injected loads differ, each now returning 0
// or a value that a store to its address had written before it.
TEST(GenInjection, ChosenLoadsReturnAnOlderValueOfTheirAddress) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    GenConfig config;
    config.seed = seed;
    config.addresses = 2;
    const GeneratedRun faithful = qirn_gen::generate(config);
    config.violations = 3;
    const GeneratedRun injected = qirn_gen::generate(config);
    size_t changed = 0;
    for (size_t p = 0; p < faithful.programs.size(); ++p) {
      for (size_t s = 0; s < faithful.programs[p].size(); ++s) {
        const GenOp& load = injected.programs[p][s];
        if (load.value == faithful.programs[p][s].value) continue;
        ++changed;
        ASSERT_EQ(load.kind, OpKind::Load);
        bool older = load.value == 0;
        for (const auto& program : faithful.programs) {
          for (const GenOp& op : program) {
            older |= op.kind == OpKind::Store && op.target == load.target &&
                     op.value == load.value && op.effect < load.effect;
          }
        }
        EXPECT_TRUE(older) << "seed " << seed << ": value " << load.value;
      }
    }
    EXPECT_EQ(changed, 3u) << "seed " << seed;
    EXPECT_EQ(injected.injected.size(), 3u) << "seed " << seed;
  }
}

}  // namespace
