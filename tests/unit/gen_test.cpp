// Invariants of the simulated runs that qirn-gen writes out, its violation
// injectors, file errors and options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gen/generate.h"
#include "gen/inject.h"

namespace {

using qirn_gen::GenConfig;
using qirn_gen::GeneratedRun;
using qirn_gen::GenOp;
using qirn_gen::InjectedLoad;
using qirn_gen::LockViolation;
using qirn_gen::LockViolationKind;
using qirn_gen::OpKind;
using Position = std::pair<int32_t, int32_t>;  // processor, sequence number
using Runs = std::vector<std::pair<GenConfig, GeneratedRun>>;

// The runs of seeds 1 to `count`, each shaped by `shape`.
template <typename Shape>
Runs runs_of(uint64_t count, Shape shape) {
  Runs result;
  for (uint64_t seed = 1; seed <= count; ++seed) {
    GenConfig c;
    c.seed = seed;
    shape(seed, c);
    result.emplace_back(c, qirn_gen::generate(c));
  }
  return result;
}

// A spread of shapes: up to five processors, no lock to two locks, every
// access in a session on some seeds, and scans from every tick to one only.
Runs runs() {
  return runs_of(12, [](uint64_t seed, GenConfig& c) {
    c.processors = 2 + static_cast<int32_t>(seed % 4);
    c.operations = 5 + static_cast<int32_t>(seed * 7 % 30);
    c.addresses = 1 + static_cast<int32_t>(seed % 3);
    c.locks = static_cast<int32_t>(seed % 3);
    c.lockShare = seed % 4 == 0 ? 100 : 50;
    c.scanDistance = seed % 5 == 0 ? 1000 : 1 + static_cast<int32_t>(seed % 6);
  });
}

// Runs with planted lock violations: 2-16 processors, 1-16 locks, 10-90% of
// the accesses in sessions, 1-5 violations, and stale reads of -v or -t on
// some seeds as well.
Runs lock_runs() {
  return runs_of(150, [](uint64_t seed, GenConfig& c) {
    c.processors = 2 + static_cast<int32_t>(seed % 15);
    c.operations = 3 + static_cast<int32_t>(seed * 7 % 38);
    c.addresses = 2 + static_cast<int32_t>(seed % 6);
    c.locks = 1 + static_cast<int32_t>(seed * 5 % 16);
    c.lockShare = 10 + static_cast<int32_t>(seed * 13 % 81);
    c.scanDistance = 1 + static_cast<int32_t>(seed % 9);
    c.lockViolations = 1 + static_cast<int32_t>(seed % 5);
    c.violations = seed % 4 == 0 ? 2 : 0;
    c.timedViolations = seed % 4 == 1 ? 2 : 0;
  });
}

Runs all_runs() {
  Runs result = runs();
  for (auto& entry : lock_runs()) result.push_back(std::move(entry));
  return result;
}

// The loads made stale, by -v, -t or a lock violation.
std::map<Position, InjectedLoad> stale_loads(const GeneratedRun& run) {
  std::map<Position, InjectedLoad> stale;
  for (const InjectedLoad& load : run.injected) stale[{load.proc, load.seq}] = load;
  for (const LockViolation& violation : run.lockViolations) {
    EXPECT_TRUE(
        stale.emplace(Position(violation.load.proc, violation.load.seq), violation.load).second);
  }
  return stale;
}

// Effects keep program order and lie between issue and completion; store
// values are non-zero and written once, and a load returns what the stores
// that took effect before it left in memory, except that a stale load
// returns its stale value where memory held its faithful one.
void expect_simulated(const GenConfig& config, const GeneratedRun& run) {
  std::vector<std::pair<const GenOp*, Position>> accesses;
  for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
    const auto& program = run.programs[p];
    for (int32_t s = 0; s < static_cast<int32_t>(program.size()); ++s) {
      EXPECT_LT(program[s].issued, program[s].effect);
      EXPECT_LE(program[s].effect, program[s].completed);
      if (s > 0) {
        EXPECT_LT(program[s - 1].effect, program[s].effect) << "seed " << config.seed;
      }
      if (!qirn_gen::is_lock_op(program[s])) accesses.push_back({&program[s], {p, s}});
    }
  }
  std::sort(accesses.begin(), accesses.end(),
            [](const auto& a, const auto& b) { return a.first->effect < b.first->effect; });
  const std::map<Position, InjectedLoad> stale = stale_loads(run);
  std::map<int32_t, int32_t> memory;
  std::set<int32_t> written;
  for (const auto& [op, at] : accesses) {
    if (op->kind == OpKind::Store) {
      EXPECT_NE(op->value, 0) << "seed " << config.seed;
      EXPECT_TRUE(written.insert(op->value).second) << "seed " << config.seed;
      memory[op->target] = op->value;
      continue;
    }
    const auto injected = stale.find(at);
    const bool faithful = injected == stale.end();
    EXPECT_EQ(op->value, faithful ? memory[op->target] : injected->second.stale);
    EXPECT_TRUE(faithful || injected->second.faithful == memory[op->target])
        << "seed " << config.seed;
  }
}

// Per processor, acquires and releases alternate, start with an acquire, name
// the same lock and end released; a lock operation waits for everything
// before it; sessions of one lock never overlap in time.
void expect_exclusive_sessions(const GenConfig& config, const GeneratedRun& run) {
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
      EXPECT_LT(spans[i - 1].second, spans[i].first) << "lock " << lock << ", seed " << config.seed;
    }
  }
}

// Below lb everything had completed at the scan, from ub on nothing had been
// issued; the bounds are exact, in range and never decrease, and the last
// scan follows every completion.
void expect_exact_bounds(const GenConfig& config, const GeneratedRun& run) {
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

TEST(GenSimulation, LoadsReturnMemoryAtTheirEffectInProgramOrder) {
  for (const auto& [config, run] : all_runs()) expect_simulated(config, run);
}

TEST(GenSimulation, SessionsPairUpAndExcludeEachOtherInTime) {
  for (const auto& [config, run] : all_runs()) expect_exclusive_sessions(config, run);
}

TEST(GenScans, BoundsAreExactStayInRangeAndNeverDecrease) {
  for (const auto& [config, run] : all_runs()) expect_exact_bounds(config, run);
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

// The scan proof bisects for the first row that saw an operation completed;
// the rule reads the rows in order. Both on every pair of operations of the
// generated runs, across all their shapes.
TEST(GenInjection, ScanProofBisectsAsTheRowsAreRead) {
  const auto literal = [](const std::vector<qirn_gen::ScanRow>& scans, Position a, Position b) {
    for (const qirn_gen::ScanRow& row : scans) {
      if (a.second < row.lb[a.first]) return b.second >= row.ub[b.first];
    }
    return false;
  };
  size_t pairs = 0;
  for (const Runs& shapes : {runs(), lock_runs()}) {
    for (const auto& [config, run] : shapes) {
      std::vector<Position> ops;
      for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
        for (int32_t s = 0; s < static_cast<int32_t>(run.programs[p].size()); ++s)
          ops.push_back({p, s});
      }
      for (size_t i = 0; i < ops.size(); i += 3) {
        for (size_t j = 0; j < ops.size(); j += 5, ++pairs) {
          ASSERT_EQ(qirn_gen::scan_proves(run.scans, ops[i], ops[j]),
                    literal(run.scans, ops[i], ops[j]))
              << "seed " << config.seed;
        }
      }
    }
  }
  EXPECT_GT(pairs, 10'000u);
}

// Per processor and operation, the acquire that opened the session the
// operation lies in (-1 outside sessions); and where each value was stored.
struct TraceIndex {
  std::vector<std::vector<int32_t>> session;
  std::map<std::pair<int32_t, int32_t>, Position> store;  // by address and value
};

TraceIndex index_traces(const GeneratedRun& run) {
  TraceIndex index;
  for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
    int32_t open = -1;
    auto& sessions = index.session.emplace_back();
    for (int32_t s = 0; s < static_cast<int32_t>(run.programs[p].size()); ++s) {
      const GenOp& op = run.programs[p][s];
      if (op.kind == OpKind::Acquire) open = s;
      sessions.push_back(open);
      if (op.kind == OpKind::Release) open = -1;
      if (op.kind == OpKind::Store) index.store[{op.target, op.value}] = {p, s};
    }
  }
  return index;
}

// The store whose value the load at `at` returns, or (-1, -1) for none.
Position store_read(const GeneratedRun& run, const TraceIndex& index, Position at) {
  const GenOp& op = run.programs[at.first][at.second];
  const auto found = index.store.find({op.target, op.value});
  return found == index.store.end() ? Position(-1, -1) : found->second;
}

// Whether a load of the session opened at `reading` returns a value stored
// in the session opened at `writing`.
bool reads_from_session(const GeneratedRun& run, const TraceIndex& index, Position reading,
                        Position writing) {
  const auto& program = run.programs[reading.first];
  for (int32_t s = reading.second + 1; program[s].kind != OpKind::Release; ++s) {
    if (program[s].kind != OpKind::Load) continue;
    const Position store = store_read(run, index, {reading.first, s});
    if (store.first == writing.first &&
        index.session[store.first][store.second] == writing.second) {
      return true;
    }
  }
  return false;
}

// The shape that proves a lock violation, read off the traces alone. The load
// returns a value that store w wrote in a session of the load's lock on
// another processor; a later store o of that processor to the same address,
// in the same session or a later one of the lock, overwrote it; and a load of
// the reading session returns a value stored in o's session, which so comes
// first. Then o lies between w and the load in every order the lock allows.
void expect_provable(const GeneratedRun& run, const TraceIndex& index,
                     const LockViolation& violation) {
  const auto [q, s] = Position(violation.load.proc, violation.load.seq);
  const GenOp& load = run.programs[q][s];
  ASSERT_EQ(load.kind, OpKind::Load);
  ASSERT_EQ(load.value, violation.load.stale);
  const int32_t reading = index.session[q][s];
  ASSERT_GE(reading, 0) << "outside sessions";
  EXPECT_EQ(run.programs[q][reading].target, violation.lock);
  const auto [p, w] = store_read(run, index, {q, s});
  ASSERT_EQ(p, violation.writer) << "no such store on the writer";
  EXPECT_NE(p, q);
  const GenOp& overwrite = run.programs[p][violation.overwrite];
  EXPECT_EQ(overwrite.kind, OpKind::Store);
  EXPECT_EQ(overwrite.target, load.target);
  EXPECT_EQ(overwrite.value, violation.load.faithful);
  EXPECT_LT(w, violation.overwrite);
  const int32_t writing = index.session[p][w];
  const int32_t overwriting = index.session[p][violation.overwrite];
  ASSERT_GE(writing, 0);
  EXPECT_EQ(run.programs[p][writing].target, violation.lock);
  EXPECT_EQ(run.programs[p][overwriting].target, violation.lock);
  if (violation.kind == LockViolationKind::StaleSession) {
    EXPECT_LT(writing, overwriting) << "overwritten in the writing session";
  } else {
    EXPECT_EQ(writing, overwriting) << "overwritten in another session";
  }
  EXPECT_TRUE(reads_from_session(run, index, {q, reading}, {p, overwriting}));
}

// Every requested violation is planted, of alternating kinds, and stays
// provable in the written traces, also where -v or -t made loads stale.
TEST(GenLockViolations, EachIsProvenByTheSessionsOfItsLock) {
  for (const auto& [config, run] : lock_runs()) {
    SCOPED_TRACE("seed " + std::to_string(config.seed));
    ASSERT_EQ(run.lockViolations.size(), static_cast<size_t>(config.lockViolations));
    const TraceIndex index = index_traces(run);
    for (size_t i = 0; i < run.lockViolations.size(); ++i) {
      SCOPED_TRACE("lock violation " + std::to_string(i));
      expect_provable(run, index, run.lockViolations[i]);
      if (i > 0) {
        EXPECT_NE(run.lockViolations[i].kind, run.lockViolations[i - 1].kind);
      }
    }
  }
}

}  // namespace
