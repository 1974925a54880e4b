// qirn-gen's runs under TSO and PSO: what loads read, fences and lock
// operations draining the buffers, truthful bounds, stale loads that no
// buffered machine explains, the one-file format, and SC runs that stay as
// they were before store buffers.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gen/files.h"
#include "gen/generate.h"
#include "gen/manifest.h"
#include "gen/options.h"
#include "gen/summary.h"
#include "support/lock_trace_sets.h"
#include "support/store_buffer_machine.h"

namespace {

using qirn_gen::GenConfig;
using qirn_gen::GeneratedRun;
using qirn_gen::GenOp;
using qirn_gen::MemoryModel;
using qirn_gen::OpKind;
using qirn_gen::Program;

// TSO and PSO runs of seeds 1 to `count`: 2-5 processors, 1-3 addresses, no
// lock to two locks, fences after none, 15% or 40% of the accesses, and a
// planted lock violation on some seeds; `shape` may change more.
template <typename Shape>
std::vector<std::pair<GenConfig, GeneratedRun>> buffered_runs(uint64_t count, Shape shape) {
  std::vector<std::pair<GenConfig, GeneratedRun>> runs;
  for (uint64_t seed = 1; seed <= count; ++seed) {
    for (const MemoryModel model : {MemoryModel::TSO, MemoryModel::PSO}) {
      GenConfig c;
      c.seed = seed;
      c.model = model;
      c.processors = 2 + static_cast<int32_t>(seed % 4);
      c.operations = 5 + static_cast<int32_t>(seed * 7 % 36);
      c.addresses = 1 + static_cast<int32_t>(seed % 3);
      c.locks = static_cast<int32_t>(seed / 3 % 3);
      c.fences = seed % 3 == 0 ? 0 : seed % 3 == 1 ? 15 : 40;
      c.lockViolations = seed % 5 == 0 && c.addresses > 1 ? 1 : 0;
      shape(seed, c);
      runs.emplace_back(c, qirn_gen::generate(c));
    }
  }
  return runs;
}

auto buffered_runs(uint64_t count) {
  return buffered_runs(count, [](uint64_t, GenConfig&) {});
}

bool planted_stale(const GeneratedRun& run, int32_t p, int32_t s) {
  for (const auto& violation : run.lockViolations) {
    if (violation.load.proc == p && violation.load.seq == s) return true;
  }
  return false;
}

// Rebuilt from the ticks alone: at a load's effect, its processor's buffer
// holds the stores that had entered it and not yet drained; the load must
// read the newest of them to its address (in program order), or else the
// store to its address that drained last. Stores drain in program order,
// per processor under TSO and per processor and address under PSO. Counts
// the forwarded loads, the loads that passed an own buffered store to
// another address, and under PSO the stores that drained before an older one.
TEST(GenBuffers, LoadsReadTheirNewestBufferedStoreOrMemoryAtThatMoment) {
  size_t forwarded = 0, passed = 0, overtaking = 0;
  for (const auto& [config, run] : buffered_runs(60)) {
    SCOPED_TRACE(std::string(model_name(config.model)) + " seed " + std::to_string(config.seed));
    for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
      const Program& program = run.programs[p];
      for (int32_t s = 0; s < static_cast<int32_t>(program.size()); ++s) {
        const GenOp& op = program[s];
        if (op.kind == OpKind::Store) {
          ASSERT_LT(op.buffered, op.effect);
          for (int32_t e = 0; e < s; ++e) {
            const GenOp& older = program[e];
            if (older.kind != OpKind::Store || older.effect < op.effect) continue;
            EXPECT_TRUE(config.model == MemoryModel::PSO && older.target != op.target);
            ++overtaking;
          }
        }
        if (op.kind != OpKind::Load || planted_stale(run, p, s)) continue;
        const GenOp* own = nullptr;
        for (int32_t e = 0; e < s; ++e) {
          const GenOp& store = program[e];
          if (store.kind != OpKind::Store || store.effect < op.effect) continue;
          if (store.target == op.target) own = &store;
          passed += store.target != op.target;
        }
        int32_t memory = 0;
        int64_t latest = 0;
        for (const Program& other : run.programs) {
          for (const GenOp& store : other) {
            if (store.kind != OpKind::Store || store.target != op.target) continue;
            if (store.effect < op.effect && store.effect > latest) {
              latest = store.effect;
              memory = store.value;
            }
          }
        }
        EXPECT_EQ(op.value, own != nullptr ? own->value : memory) << "load " << p << ":" << s;
        EXPECT_EQ(op.forwarded, own != nullptr);
        forwarded += op.forwarded;
      }
    }
  }
  EXPECT_GT(forwarded, 50u);
  EXPECT_GT(passed, 100u);
  EXPECT_GT(overtaking, 20u);
}

// A fence, acquire or release takes effect with its processor's buffer
// empty: every store before it has drained, every store after it enters the
// buffer later. Each operation is issued before it takes effect and
// completes no earlier, a store only once it drained, so the scans are
// true: below lb everything had completed, from ub nothing was issued.
TEST(GenBuffers, FencesAndLockOperationsDrainTheBufferAndTheScansStayTrue) {
  size_t fences = 0;
  for (const auto& [config, run] : buffered_runs(60)) {
    SCOPED_TRACE(std::string(model_name(config.model)) + " seed " + std::to_string(config.seed));
    for (size_t p = 0; p < run.programs.size(); ++p) {
      const Program& program = run.programs[p];
      for (size_t s = 0; s < program.size(); ++s) {
        const GenOp& op = program[s];
        EXPECT_LT(op.issued, op.kind == OpKind::Store ? op.buffered : op.effect);
        EXPECT_LE(op.effect, op.completed);
        if (s > 0) {
          EXPECT_LT(program[s - 1].completed, op.completed);
        }
        if (qirn_gen::is_access(op)) continue;
        fences += op.kind == OpKind::Fence;
        for (size_t e = 0; e < program.size(); ++e) {
          if (program[e].kind != OpKind::Store) continue;
          EXPECT_TRUE(e < s ? program[e].effect < op.effect : program[e].buffered > op.effect);
        }
      }
      for (const qirn_gen::ScanRow& row : run.scans) {
        const int32_t lb = row.lb[p];
        const int32_t ub = row.ub[p];
        EXPECT_TRUE(lb == 0 || program[lb - 1].completed <= row.tick);
        EXPECT_TRUE(ub == static_cast<int32_t>(program.size()) || program[ub].issued > row.tick);
      }
      EXPECT_EQ(run.scans.back().lb[p], static_cast<int32_t>(program.size()));
    }
  }
  EXPECT_GT(fences, 200u);
}

// Whether the machine with store buffers explains the run's traces, without
// its bound files.
bool explained(const GenConfig& config, const GeneratedRun& run, MemoryModel model) {
  std::vector<std::string> traces;
  for (int32_t p = 0; p < config.processors; ++p) traces.push_back(trace_text(run, config, p));
  return store_buffers::explains(lock_reference::parse_set(traces), model_name(model));
}

// Small runs: every TSO run is explained by a TSO machine and every PSO run
// by a PSO machine; no run with a stale load of -v is explained even by a
// PSO machine. And the buffers show: some TSO runs are no SC execution.
TEST(GenBuffers, MachinesExplainTheRunsButNoneExplainsTheirStaleLoads) {
  size_t notSc = 0, stale = 0;
  const auto small = [](uint64_t seed, GenConfig& c) {
    c.processors = 2;
    c.operations = 4 + static_cast<int32_t>(seed % 6);
    c.addresses = 2;
    c.locks = static_cast<int32_t>(seed % 4 == 0);
    c.fences = seed % 3 == 0 ? 20 : 0;
    c.lockViolations = 0;
  };
  for (const auto& [config, run] : buffered_runs(300, small)) {
    SCOPED_TRACE(std::string(model_name(config.model)) + " seed " + std::to_string(config.seed));
    EXPECT_TRUE(explained(config, run, config.model));
    if (config.model == MemoryModel::TSO) {
      notSc += !explained(config, run, MemoryModel::SC);
    }
  }
  const auto injected = [&](uint64_t seed, GenConfig& c) {
    small(seed, c);
    c.violations = 1 + static_cast<int32_t>(seed % 2);
  };
  for (const auto& [config, run] : buffered_runs(300, injected)) {
    SCOPED_TRACE(std::string(model_name(config.model)) + " seed " + std::to_string(config.seed));
    stale += !run.injected.empty();
    EXPECT_EQ(explained(config, run, MemoryModel::PSO), run.injected.empty());
  }
  EXPECT_GT(notSc, 5u);
  EXPECT_GT(stale, 200u);
}

// The one file holds every processor's operations in program order, each
// line read back as the operation it shows; a run with sessions has none.
TEST(GenBuffers, OneFileReadsBackAsTheRunInProgramOrder) {
  for (const auto& [config, run] : buffered_runs(20, [](uint64_t, GenConfig& c) { c.locks = 0; })) {
    ASSERT_FALSE(qirn_gen::has_lock_sessions(run));
    std::istringstream text(qirn_gen::one_file_text(run));
    for (size_t p = 0; p < run.programs.size(); ++p) {
      for (const GenOp& op : run.programs[p]) {
        std::string line;
        ASSERT_TRUE(std::getline(text, line));
        int thread = -1, address = -1, value = -1, end = 0;
        char sign = ' ';
        if (op.kind == OpKind::Fence) {
          ASSERT_EQ(std::sscanf(line.c_str(), "%d: sync%n", &thread, &end), 1) << line;
        } else {
          ASSERT_EQ(std::sscanf(line.c_str(), "%d: M[%d] %c= %d%n", &thread, &address, &sign,
                                &value, &end),
                    4)
              << line;
          EXPECT_EQ(sign, op.kind == OpKind::Store ? ':' : '=') << line;
          EXPECT_EQ(address, op.target);
          EXPECT_EQ(value, op.value);
        }
        EXPECT_EQ(thread, static_cast<int>(p));
        EXPECT_EQ(end, static_cast<int>(line.size())) << line;
      }
    }
    EXPECT_TRUE(text.peek() == EOF);
  }
  GenConfig sessions;
  sessions.lockShare = 100;
  EXPECT_TRUE(qirn_gen::has_lock_sessions(qirn_gen::generate(sessions)));
}

uint64_t fnv1a(const std::string& text, uint64_t hash = 0xcbf29ce484222325ULL) {
  for (const unsigned char byte : text) hash = (hash ^ byte) * 0x100000001b3ULL;
  return hash;
}

// With -m SC and --fences 0 given, the trace and bound files, the manifest
// and the summary are byte for byte those the tool wrote before it had
// store buffers (digests of that tool's output for these command lines).
TEST(GenBuffers, ScRunsAreWrittenAsBeforeStoreBuffers) {
  const std::vector<std::pair<std::string, uint64_t>> before = {
      {"", 0x73521b7fd7f38490ULL},
      {"-p 3 -n 12 -l 1 -c 50 -s 7", 0xa71a9e88c78321a6ULL},
      {"-p 4 -n 30 -a 2 -l 0 -v 3 -s 9", 0xfa07dabadf5fb58aULL},
      {"-p 3 -n 8 -t 1 -s 5", 0x9ccc9f1ae8059686ULL},
      {"-p 6 -n 25 -l 2 -t 2 -k 1 -s 13 -d 3", 0x6b17cbae6c1542e9ULL},
      {"-p 2 -n 7 -a 1 -l 1 -c 100 -k 1 -v 1 -s 36", 0xf39b8ce877b0fd91ULL},
  };
  for (const auto& [options, digest] : before) {
    std::vector<std::string> words = {"qirn-gen", "-m", "SC", "--fences", "0"};
    std::istringstream split(options);
    for (std::string word; split >> word;) words.push_back(word);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    const auto parsed = qirn_gen::parse_options(static_cast<int>(argv.size()), argv.data());
    const GenConfig& config = parsed.config;
    const GeneratedRun run = qirn_gen::generate(config);
    std::string written;
    for (int32_t p = 0; p < config.processors; ++p) {
      written += qirn_gen::trace_text(run, config, p) + qirn_gen::bound_text(run, p);
    }
    written += qirn_gen::manifest_text(run, config) + qirn_gen::summary_text(run, config);
    EXPECT_EQ(fnv1a(written), digest) << options;
  }
}

}  // namespace
