// Invariants of the runs that qirn-gen simulates under SC, TSO, PSO and WMO and
// writes out: what loads read, store buffers, fences and sessions, exact
// scans, its violation injectors, stale loads that no buffered machine
// explains, the one-file format, manifests as qirn-batch reads them, and SC
// runs that stay as they were before store buffers.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "api/check.h"
#include "batch/json.h"
#include "gen/files.h"
#include "gen/generate.h"
#include "gen/manifest.h"
#include "gen/options.h"
#include "gen/summary.h"
#include "support/lock_trace_sets.h"
#include "support/store_buffer_machine.h"
#include "support/trace_fixture.h"
#include "trace/one_file_trace.h"

namespace {

using qirn_batch::Json;
using qirn_gen::GenConfig;
using qirn_gen::GeneratedRun;
using qirn_gen::GenOp;
using qirn_gen::InjectedLoad;
using qirn_gen::LockViolation;
using qirn_gen::MemoryModel;
using qirn_gen::OpKind;
using qirn_gen::Program;
using Position = std::pair<int32_t, int32_t>;  // processor, sequence number
using Runs = std::vector<std::pair<GenConfig, GeneratedRun>>;

// The runs of seeds 1 to `count` under each model, each shaped by `shape`.
template <typename Shape>
Runs runs_of(uint64_t count, std::vector<MemoryModel> models, Shape shape) {
  Runs result;
  for (uint64_t seed = 1; seed <= count; ++seed) {
    for (const MemoryModel model : models) {
      GenConfig c;
      c.seed = seed;
      c.model = model;
      shape(seed, c);
      result.emplace_back(c, qirn_gen::generate(c));
    }
  }
  return result;
}

// SC runs with planted lock violations: 2-16 processors, 1-16 locks, 10-90%
// of the accesses in sessions (all on some seeds), 1-5 violations, scans
// from every tick to one only, and stale reads of -v or -t on some seeds as
// well.
Runs lock_runs() {
  return runs_of(150, {MemoryModel::SC}, [](uint64_t seed, GenConfig& c) {
    c.processors = 2 + static_cast<int32_t>(seed % 15);
    c.operations = 3 + static_cast<int32_t>(seed * 7 % 38);
    c.addresses = 2 + static_cast<int32_t>(seed % 6);
    c.locks = 1 + static_cast<int32_t>(seed * 5 % 16);
    c.lockShare = seed % 10 == 0 ? 100 : 10 + static_cast<int32_t>(seed * 13 % 81);
    c.scanDistance = seed % 25 == 0 ? 1000 : 1 + static_cast<int32_t>(seed % 9);
    c.lockViolations = 1 + static_cast<int32_t>(seed % 5);
    c.violations = seed % 4 == 0 ? 2 : 0;
    c.timedViolations = seed % 4 == 1 ? 2 : 0;
  });
}

// Runs under TSO and PSO (or `models`): 2-5 processors, 1-3 addresses, no
// lock to two locks, fences after none, 15% or 40% of the accesses, and a
// planted lock violation on some seeds; `shape` may change more.
template <typename Shape>
Runs buffered_runs(uint64_t count, Shape shape,
                   std::vector<MemoryModel> models = {MemoryModel::TSO, MemoryModel::PSO}) {
  return runs_of(count, models, [&](uint64_t seed, GenConfig& c) {
    c.processors = 2 + static_cast<int32_t>(seed % 4);
    c.operations = 5 + static_cast<int32_t>(seed * 7 % 36);
    c.addresses = 1 + static_cast<int32_t>(seed % 3);
    c.locks = static_cast<int32_t>(seed / 3 % 3);
    c.fences = seed % 3 == 0 ? 0 : seed % 3 == 1 ? 15 : 40;
    c.lockViolations = seed % 5 == 0 && c.addresses > 1 ? 1 : 0;
    shape(seed, c);
  });
}

Runs all_runs() {
  Runs result = lock_runs();
  const auto same = [](uint64_t, GenConfig&) {};
  Runs more = buffered_runs(
      60, same, {MemoryModel::SC, MemoryModel::TSO, MemoryModel::PSO, MemoryModel::WMO});
  std::move(more.begin(), more.end(), std::back_inserter(result));
  return result;
}

std::string run_name(const GenConfig& config) {
  return std::string(model_name(config.model)) + " seed " + std::to_string(config.seed);
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

// Whether the later operation may take effect before the earlier one of its
// processor: under TSO, PSO and WMO a load passes buffered stores, and under
// PSO and WMO stores to different addresses drain in any order; under WMO a
// load passes any access of another address.
bool may_overtake(MemoryModel model, const GenOp& earlier, const GenOp& later) {
  if (model == MemoryModel::WMO && later.kind == OpKind::Load && qirn_gen::is_access(earlier) &&
      earlier.target != later.target) {
    return true;
  }
  if (model == MemoryModel::SC || earlier.kind != OpKind::Store) return false;
  return later.kind == OpKind::Load || (model != MemoryModel::TSO && later.kind == OpKind::Store &&
                                        later.target != earlier.target);
}

struct Tally {
  size_t forwarded = 0, passed = 0, overtaking = 0, fences = 0;
};

// Times and order of one operation: issued before it takes effect (a store
// before it enters its buffer, which under SC is its effect), completed no
// earlier and after the one before it; effects in program order but for
// what may_overtake lets pass; a fence, acquire or release takes effect with
// the buffer empty: every store before it has drained, every store after it
// enters the buffer later.
void expect_timed(const GenConfig& config, const Program& program, size_t s, Tally& tally) {
  const GenOp& op = program[s];
  const bool store = op.kind == OpKind::Store;
  EXPECT_LT(op.issued, store ? op.buffered : op.effect);
  EXPECT_TRUE(!store || (buffered(config) ? op.buffered < op.effect : op.buffered == op.effect));
  EXPECT_LE(op.effect, op.completed);
  if (s > 0) {
    EXPECT_LT(program[s - 1].completed, op.completed);
  }
  for (size_t e = 0; e < s; ++e) {
    if (program[e].effect < op.effect) continue;
    EXPECT_TRUE(may_overtake(config.model, program[e], op)) << "operation " << s;
    tally.overtaking += store;
    tally.passed += op.kind == OpKind::Load && program[e].target != op.target;
  }
  if (qirn_gen::is_access(op)) return;
  tally.fences += op.kind == OpKind::Fence;
  for (size_t e = 0; e < program.size(); ++e) {
    if (program[e].kind != OpKind::Store) continue;
    EXPECT_TRUE(e < s ? program[e].effect < op.effect : program[e].buffered > op.effect);
  }
}

// Store values are non-zero and written once. A load reads its processor's
// newest buffered store to its address, or else the store to it that took
// effect last; a stale load returns, where it read its faithful one, 0 or a
// value that a store to its address had written before it.
void expect_simulated(const GenConfig& config, const GeneratedRun& run, Tally& tally) {
  std::map<int32_t, std::map<int64_t, int32_t>> memory;   // address -> effect -> value
  std::map<int32_t, std::pair<int32_t, int64_t>> stored;  // value -> address, time buffered
  for (const Program& program : run.programs) {
    for (const GenOp& op : program) {
      if (op.kind != OpKind::Store) continue;
      EXPECT_NE(op.value, 0);
      EXPECT_TRUE(stored.emplace(op.value, std::pair(op.target, op.buffered)).second);
      memory[op.target][op.effect] = op.value;
    }
  }
  const std::map<Position, InjectedLoad> stale = stale_loads(run);
  for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
    const Program& program = run.programs[p];
    for (int32_t s = 0; s < static_cast<int32_t>(program.size()); ++s) {
      expect_timed(config, program, s, tally);
      const GenOp& op = program[s];
      if (op.kind != OpKind::Load) continue;
      const GenOp* own = nullptr;  // the newest earlier store to the address
      for (int32_t e = s - 1; e >= 0 && own == nullptr; --e) {
        if (program[e].kind == OpKind::Store && program[e].target == op.target) own = &program[e];
      }
      const bool forwarded = own != nullptr && own->effect > op.effect;
      const auto& drained = memory[op.target];
      const auto next = drained.lower_bound(op.effect);
      const int32_t read = forwarded                 ? own->value
                           : next == drained.begin() ? 0
                                                     : std::prev(next)->second;
      const auto injected = stale.find({p, s});
      const bool faithful = injected == stale.end();
      EXPECT_EQ(op.value, faithful ? read : injected->second.stale) << "load " << p << ":" << s;
      EXPECT_TRUE(faithful || injected->second.faithful == read) << "load " << p << ":" << s;
      const auto store = stored.find(op.value);
      EXPECT_TRUE(faithful || op.value == 0 ||
                  (store != stored.end() && store->second.first == op.target &&
                   store->second.second < op.effect))
          << "load " << p << ":" << s << " returns a value not stored before it";
      EXPECT_EQ(op.forwarded, forwarded);
      tally.forwarded += forwarded;
    }
  }
}

// Per processor, acquires and releases alternate, start with an acquire, name
// the same lock and end released; a lock operation waits for everything
// before it; sessions of one lock never overlap in time.
void expect_exclusive_sessions(const GeneratedRun& run) {
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
        ASSERT_EQ(open, nullptr) << "nested acquire";
        open = &op;
        continue;
      }
      ASSERT_NE(open, nullptr) << "release without acquire";
      EXPECT_EQ(open->target, op.target);
      sessions[op.target].emplace_back(open->effect, op.effect);
      open = nullptr;
    }
    EXPECT_EQ(open, nullptr) << "session left open";
  }
  for (auto& [lock, spans] : sessions) {
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i) {
      EXPECT_LT(spans[i - 1].second, spans[i].first) << "lock " << lock;
    }
  }
}

// Below lb everything had completed at the scan, from ub on nothing had been
// issued; the bounds are exact, in range and never decrease, and the last
// scan follows every completion.
void expect_exact_bounds(const GeneratedRun& run) {
  ASSERT_FALSE(run.scans.empty());
  for (size_t p = 0; p < run.programs.size(); ++p) {
    const auto& program = run.programs[p];
    const int32_t length = static_cast<int32_t>(program.size());
    for (size_t k = 0; k < run.scans.size(); ++k) {
      const auto& row = run.scans[k];
      const int32_t lb = row.lb[p];
      const int32_t ub = row.ub[p];
      ASSERT_TRUE(0 <= lb && lb <= ub && ub <= length);
      EXPECT_TRUE(lb == 0 || program[lb - 1].completed <= row.tick);
      EXPECT_TRUE(lb == length || program[lb].completed > row.tick);
      EXPECT_TRUE(ub == 0 || program[ub - 1].issued <= row.tick);
      EXPECT_TRUE(ub == length || program[ub].issued > row.tick);
      if (k == 0) continue;
      EXPECT_LE(run.scans[k - 1].lb[p], lb);
      EXPECT_LE(run.scans[k - 1].ub[p], ub);
    }
    EXPECT_EQ(run.scans.back().lb[p], length);
  }
}

// Every requested lock violation is planted where there are locks, of
// alternating kinds, also where -v or -t made loads stale. (That qirn finds each kind of violation
// alone is qirn-batch --expect's to judge, in tests/gen.)
void expect_planted(const GenConfig& config, const GeneratedRun& run) {
  ASSERT_EQ(run.lockViolations.size(), config.locks > 0 ? size_t(config.lockViolations) : 0u);
  for (size_t i = 1; i < run.lockViolations.size(); ++i) {
    EXPECT_NE(run.lockViolations[i].kind, run.lockViolations[i - 1].kind);
  }
}

TEST(GenSimulation, LoadsSessionsScansAndPlantedViolationsAreAsSimulated) {
  Tally tally;
  for (const auto& [config, run] : all_runs()) {
    SCOPED_TRACE(run_name(config));
    expect_simulated(config, run, tally);
    expect_exclusive_sessions(run);
    expect_exact_bounds(run);
    expect_planted(config, run);
  }
  EXPECT_GT(tally.forwarded, 50u);
  EXPECT_GT(tally.passed, 100u);
  EXPECT_GT(tally.overtaking, 20u);
  EXPECT_GT(tally.fences, 200u);
}

// Whether the machine with store buffers explains the run's traces, without
// its bound files.
bool explained(const GenConfig& config, const GeneratedRun& run, MemoryModel model) {
  return store_buffers::explains(lock_reference::parse_set(run_files(run, config).traces),
                                 model_name(model));
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
    SCOPED_TRACE(run_name(config));
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
    SCOPED_TRACE(run_name(config));
    stale += !run.injected.empty();
    EXPECT_EQ(explained(config, run, MemoryModel::PSO), run.injected.empty());
  }
  EXPECT_GT(notSc, 5u);
  EXPECT_GT(stale, 200u);
}

// The words of a command that quotes only with single quotes.
std::vector<std::string> shell_words(const std::string& command) {
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) {
    words.push_back(word.front() == '\'' ? word.substr(1, word.size() - 2) : word);
  }
  return words;
}

GenConfig parsed_command(const std::string& command) {
  std::vector<std::string> words = shell_words(command);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const qirn_gen::ParsedOptions parsed =
      qirn_gen::parse_options(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(parsed.line.action, qirn_tools::Action::Run) << command;
  return parsed.config;
}

// Runs with RMWs under SC, TSO and PSO, 10-70% of the accesses, in the
// buffered shapes (sessions, fences, a lock violation on some seeds), with
// -x on every other seed.
Runs rmw_runs() {
  return buffered_runs(60,
                       [](uint64_t seed, GenConfig& c) {
                         c.rmw = 10 + static_cast<int32_t>(seed * 17 % 61);
                         c.rmwViolations = seed % 2 == 0 ? 1 + static_cast<int32_t>(seed % 3) : 0;
                       },
                       {MemoryModel::SC, MemoryModel::TSO, MemoryModel::PSO});
}

// Every manifest is JSON that lists every changed load and holds a command
// that gives the same run again, with its prefix and one file. (Whether its
// expected verdicts hold is qirn-batch --expect's to judge, in tests/gen.)
TEST(GenManifest, ListsTheChangedLoadsAndACommandThatRegeneratesTheRun) {
  for (const Runs& runs : {all_runs(), rmw_runs()}) {
    for (auto [config, run] : runs) {
      SCOPED_TRACE(run_name(config));
      config.prefix = "runs/s" + std::to_string(config.seed) + "-";
      if (config.seed % 7 == 0) config.oneFile = "runs/one-" + std::to_string(config.seed);
      const std::string text = qirn_gen::manifest_text(run, config);
      const std::optional<Json> manifest = qirn_batch::parse_json(text);
      ASSERT_TRUE(manifest);
      EXPECT_EQ(manifest->find("injected")->find("loads")->members.size(),
                run.injected.size() + run.lockViolations.size() + run.rmwViolations.size());
      const GenConfig again = parsed_command(*manifest->string_at({"command"}));
      EXPECT_EQ(qirn_gen::manifest_text(qirn_gen::generate(again), again), text);
    }
  }
}

uint64_t fnv1a(const std::string& text, uint64_t hash = 0xcbf29ce484222325ULL) {
  for (const unsigned char byte : text) hash = (hash ^ byte) * 0x100000001b3ULL;
  return hash;
}

// Runs that leave out what was added later are written byte for byte as the
// tool wrote them before (digests of that tool's output for these command
// lines): with -m SC and --fences 0, the trace and bound files, manifest and
// summary as before store buffers; without RMWs asked for, or with -r 0 -x 0,
// runs under TSO, PSO and with fences, one file included, as before RMWs.
TEST(GenFiles, RunsWithoutLaterFeaturesAreWrittenAsBefore) {
  const std::vector<std::pair<std::string, uint64_t>> before = {
      {"-m SC --fences 0", 0x73521b7fd7f38490ULL},
      {"-m SC --fences 0 -p 3 -n 12 -l 1 -c 50 -s 7", 0xa71a9e88c78321a6ULL},
      {"-m SC --fences 0 -p 4 -n 30 -a 2 -l 0 -v 3 -s 9", 0xfa07dabadf5fb58aULL},
      {"-m SC --fences 0 -p 3 -n 8 -t 1 -s 5", 0x9ccc9f1ae8059686ULL},
      {"-m SC --fences 0 -p 6 -n 25 -l 2 -t 2 -k 1 -s 13 -d 3", 0x6b17cbae6c1542e9ULL},
      {"-m SC --fences 0 -p 2 -n 7 -a 1 -l 1 -c 100 -k 1 -v 1 -s 36", 0xf39b8ce877b0fd91ULL},
      {"-p 4 -n 30 -a 3 -l 0 -m TSO --fences 20 -v 2 -s 3 --one-file one", 0xee1603e2b49e6e05ULL},
      {"-p 5 -n 25 -l 2 -m PSO -k 1 -t 1 -s 8", 0xa0ec8dbb8cd8e9c4ULL},
      {"-p 3 -n 40 -a 2 -l 0 -m SC --fences 30 -s 21 --one-file one", 0xd4bbe0168c2d699bULL},
      {"-p 6 -n 20 -l 1 -c 70 -m TSO -k 2 -v 1 -s 34", 0xcc25a8f0bfdcee9fULL},
  };
  for (const auto& [options, digest] : before) {
    for (const std::string zero : {"", "-r 0 -x 0 "}) {
      const GenConfig config = parsed_command("qirn-gen " + zero + options);
      const GeneratedRun run = qirn_gen::generate(config);
      std::string written;
      for (int32_t p = 0; p < config.processors; ++p) {
        written += qirn_gen::trace_text(run, config, p) + qirn_gen::bound_text(run, p);
      }
      written += qirn_gen::manifest_text(run, config) + qirn_gen::summary_text(run, config);
      if (!config.oneFile.empty()) written += qirn_gen::one_file_text(run);
      EXPECT_EQ(fnv1a(written), digest) << zero << options;
    }
  }
}

using qirn_gen::RmwViolation;

// Each RMW took effect once every earlier store of its processor had
// drained, and read what its address held then: the value written last, by
// a store's drain or an RMW, before its effect. So no two RMWs read the same
// value but those of -x, each of which reads what its pair read: an earlier
// RMW of its address that -x left alone.
void expect_atomic(const GeneratedRun& run, size_t& rmws) {
  std::map<int32_t, std::map<int64_t, int32_t>> written;  // address -> effect -> value
  for (const Program& program : run.programs) {
    for (const GenOp& op : program) {
      if (qirn_gen::writes(op)) written[op.target][op.effect] = op.value;
    }
  }
  std::map<Position, const RmwViolation*> changed;
  for (const RmwViolation& violation : run.rmwViolations) {
    changed[{violation.load.proc, violation.load.seq}] = &violation;
  }
  std::map<std::pair<int32_t, int32_t>, Position> readers;  // by address and value read
  for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
    const Program& program = run.programs[p];
    for (int32_t s = 0; s < static_cast<int32_t>(program.size()); ++s) {
      const GenOp& op = program[s];
      if (op.kind != OpKind::Rmw) continue;
      ++rmws;
      for (int32_t e = 0; e < s; ++e) {
        EXPECT_TRUE(program[e].kind != OpKind::Store || program[e].effect < op.effect);
      }
      const auto own = written[op.target].find(op.effect);
      const int32_t held = own == written[op.target].begin() ? 0 : std::prev(own)->second;
      const auto injected = changed.find({p, s});
      if (injected != changed.end()) {
        EXPECT_EQ(injected->second->load.faithful, held) << "RMW " << p << ":" << s;
        EXPECT_EQ(injected->second->load.stale, op.read) << "RMW " << p << ":" << s;
        continue;
      }
      EXPECT_EQ(op.read, held) << "RMW " << p << ":" << s;
      EXPECT_TRUE(readers.emplace(std::pair(op.target, op.read), Position(p, s)).second)
          << "RMW " << p << ":" << s << " reads what another one read";
    }
  }
  for (const RmwViolation& violation : run.rmwViolations) {
    const GenOp& rmw = run.programs[violation.load.proc][violation.load.seq];
    const auto pair = readers.find({rmw.target, rmw.read});
    ASSERT_NE(pair, readers.end()) << "no RMW left alone reads " << rmw.read;
    EXPECT_EQ(pair->second, Position(violation.pairProc, violation.pairSeq));
    EXPECT_LT(run.programs[violation.pairProc][violation.pairSeq].effect, rmw.effect);
  }
}

TEST(GenRmw, EachReadsWhatItsAddressHeldButThoseMadeToShareARead) {
  size_t rmws = 0, shared = 0;
  for (const auto& [config, run] : rmw_runs()) {
    SCOPED_TRACE(run_name(config));
    expect_atomic(run, rmws);
    shared += run.rmwViolations.size();
  }
  EXPECT_GT(rmws, 1000u);
  EXPECT_GT(shared, 100u);
}

// Lock-free WMO runs in the buffered shapes, with RMWs on odd seeds.
Runs wmo_runs(int32_t violations, int32_t rmwViolations) {
  const auto shape = [=](uint64_t seed, GenConfig& c) {
    c.locks = 0;
    c.lockViolations = 0;
    c.rmw = seed % 2 == 1 ? 25 : 0;
    c.violations = violations;
    c.rmwViolations = rmwViolations;
  };
  return buffered_runs(80, shape, {MemoryModel::WMO});
}

qirn::Verdict one_file_verdict(const GeneratedRun& run, const char* model) {
  qirn::Options options;
  options.model = model;
  options.baseline = true;
  options.traceText = qirn_gen::one_file_text(run);
  options.traceInMemory = true;
  return qirn::check(options).verdict;
}

op_type_t optype(OpKind kind) {
  return kind == OpKind::Load    ? LOAD
         : kind == OpKind::Store ? STORE
         : kind == OpKind::Rmw   ? RMW
                                 : FENCE;
}

// The one file, read as qirn reads it, holds every processor's operations in
// program order, each line the operation it shows. Only a WMO run's lines
// have times: begins rise along each processor; a load or RMW ends when it
// read, a store or fence has no end; and whenever a load ends before a later
// operation begins, that one took effect after the load read (a store:
// drained). Counts such pairs, and loads that read before an earlier load.
void expect_one_file(const GeneratedRun& run, size_t& ordered, size_t& passed) {
  std::istringstream text(qirn_gen::one_file_text(run));
  for (size_t p = 0; p < run.programs.size(); ++p) {
    const Program& program = run.programs[p];
    std::vector<OperationTimes> times;
    for (const GenOp& op : program) {
      std::string line;
      ASSERT_TRUE(std::getline(text, line));
      const OneFileLine read = parse_one_file_line(line);
      ASSERT_EQ(read.kind, OneFileLineKind::Operation) << line;
      const HeldOperation& held = read.operation;
      const bool access = op.kind != OpKind::Fence;
      EXPECT_EQ(std::tuple(read.thread, held.optype, held.addr, held.val, held.readVal),
                std::tuple(int_t(p), optype(op.kind), access ? op.target : 0, access ? op.value : 0,
                           op.kind == OpKind::Rmw ? op.read : 0))
          << line;
      const bool reads = op.kind == OpKind::Load || op.kind == OpKind::Rmw;
      const bool timed = run.model == MemoryModel::WMO;
      EXPECT_EQ(held.times.begin.has_value(), timed) << line;
      EXPECT_EQ(held.times.end.has_value(), timed && reads) << line;
      EXPECT_TRUE(times.empty() || !timed || *times.back().begin < *held.times.begin) << line;
      EXPECT_TRUE(!held.times.end ||
                  (*held.times.begin <= *held.times.end && *held.times.end == op.effect))
          << line;
      times.push_back(held.times);
    }
    for (size_t i = 0; i < times.size(); ++i) {
      for (size_t j = i + 1; j < times.size() && times[i].end; ++j) {
        passed += program[j].kind == OpKind::Load && program[j].effect < program[i].effect;
        if (*times[i].end >= *times[j].begin) continue;
        ++ordered;
        EXPECT_LT(program[i].effect, program[j].effect) << "operations " << i << ", " << j;
      }
    }
  }
  EXPECT_TRUE(text.peek() == EOF);
}

// Lock-free runs under TSO and PSO, and WMO runs with their times; a run
// with sessions has no one file.
TEST(GenOneFile, ReadsBackAsTheRunInProgramOrderWithTheTimesOfWmo) {
  size_t ordered = 0, passed = 0;
  const Runs buffered = buffered_runs(20, [](uint64_t, GenConfig& c) { c.locks = 0; });
  for (const Runs& runs : {buffered, wmo_runs(0, 0)}) {
    for (const auto& [config, run] : runs) {
      SCOPED_TRACE(run_name(config));
      ASSERT_FALSE(qirn_gen::has_lock_sessions(run));
      expect_one_file(run, ordered, passed);
    }
  }
  EXPECT_GT(ordered, 10000u);
  EXPECT_GT(passed, 100u);
  GenConfig sessions;
  sessions.lockShare = 100;
  EXPECT_TRUE(qirn_gen::has_lock_sessions(qirn_gen::generate(sessions)));
}

// Clean WMO runs, one file with its times, pass WMO, and some fail PSO: loads
// pass earlier loads. Every run with a stale load of -v or an RMW pair of -x
// fails WMO.
TEST(GenWmo, RunsPassWmoWithTheirTimesAndInjectedOnesFailIt) {
  size_t notPso = 0, injected = 0;
  for (const auto& [config, run] : wmo_runs(0, 0)) {
    SCOPED_TRACE(run_name(config));
    EXPECT_EQ(one_file_verdict(run, "WMO"), qirn::Verdict::Pass);
    notPso += one_file_verdict(run, "PSO") == qirn::Verdict::Violation;
  }
  for (const auto& [config, run] : wmo_runs(1, 1)) {
    SCOPED_TRACE(run_name(config));
    const bool stale = !run.injected.empty() || !run.rmwViolations.empty();
    injected += stale;
    EXPECT_EQ(one_file_verdict(run, "WMO"), stale ? qirn::Verdict::Violation : qirn::Verdict::Pass);
  }
  EXPECT_GT(notPso, 2u);
  EXPECT_GT(injected, 50u);
}

}  // namespace
