// qirn-shrink: the reduction against made-up verdicts on random trace sets,
// the bound rows of a cut set, and the built executable on simulated runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "batch/runner.h"
#include "gen/files.h"
#include "gen/generate.h"
#include "shrink/reducer.h"
#include "shrink/trace_set.h"

namespace {

namespace fs = std::filesystem;
using namespace qirn_shrink;
using Op = std::pair<int, int>;

Operation op_line(const std::string& line, Operation::Kind kind, int a, int b) {
  Operation op{line, kind};
  if (kind == Operation::Kind::Acquire || kind == Operation::Kind::Release) op.lock = a;
  op.addr = a;
  op.value = b;
  return op;
}

// Random processors of stores with distinct values, loads of earlier stored
// values or 0, and lock sessions around some of them.
TraceSet random_set(std::mt19937& rng, int processors, int length) {
  TraceSet set;
  std::vector<std::pair<int, int>> stored;
  int next_value = 1;
  for (int p = 0; p < processors; ++p) {
    Processor& proc = set.processors.emplace_back();
    auto& ops = proc.operations;
    while (static_cast<int>(ops.size()) < length) {
      const int addr = static_cast<int>(rng() % 3);
      const bool session = rng() % 3 == 0;
      const int lock = static_cast<int>(rng() % 2);
      if (session) ops.push_back(op_line("acquire", Operation::Kind::Acquire, lock, 0));
      if (rng() % 2 == 0 || stored.empty()) {
        ops.push_back(op_line("store", Operation::Kind::Store, addr, next_value));
        stored.emplace_back(addr, next_value++);
      } else {
        const auto& [a, v] = stored[rng() % stored.size()];
        ops.push_back(op_line("load", Operation::Kind::Load, a, rng() % 4 == 0 ? 0 : v));
      }
      if (session) ops.push_back(op_line("release", Operation::Kind::Release, lock, 0));
    }
  }
  return set;
}

bool keeps_all(const Selection& s, const std::set<Op>& ops) {
  for (const auto& [p, i] : ops) {
    if (!s[p][i]) return false;
  }
  return true;
}

bool keeps_unit(const Selection& s, const Unit& unit) {
  for (const auto& [p, i] : unit.operations) {
    if (s[p][i]) return true;
  }
  return false;
}

// Every unit still in the result is needed: taking it out loses the verdict.
void expect_one_minimal(const TraceSet& set, const Selection& result,
                        const std::function<bool(const Selection&)>& verdict) {
  const Removal removal(set);
  std::vector<Unit> units = processor_units(set);
  for (Unit& unit : small_units(set)) units.push_back(unit);
  for (const Unit& unit : units) {
    if (!keeps_unit(result, unit)) continue;
    Selection smaller = result;
    removal.remove(smaller, unit);
    EXPECT_TRUE(kept_operations(smaller) == 0 || !verdict(smaller));
  }
}

TEST(Reducer, ResultKeepsVerdictIsOneMinimalAndDeterministic) {
  std::mt19937 rng(7);
  for (int round = 0; round < 60; ++round) {
    const TraceSet set = random_set(rng, 1 + round % 5, 2 + round % 13);
    // The made-up verdict holds while a few chosen operations stay, or, in
    // odd rounds, while either of two groups stays (not monotone in one set).
    const auto all = small_units(set);
    std::set<Op> first, second;
    for (int k = 0; k < 3; ++k) first.insert(all[rng() % all.size()].operations[0]);
    for (int k = 0; k < 2; ++k) second.insert(all[rng() % all.size()].operations[0]);
    const bool either = round % 2 == 1;
    int calls = 0;
    const auto verdict = [&](const Selection& s) {
      ++calls;
      return keeps_all(s, first) || (either && keeps_all(s, second));
    };
    ReducerHooks hooks;
    hooks.keeps_verdict = verdict;
    const Selection result = reduce(set, hooks);
    ASSERT_TRUE(verdict(result));
    expect_one_minimal(set, result, verdict);
    EXPECT_EQ(reduce(set, hooks), result);
    EXPECT_GT(calls, 0);
  }
}

TEST(Reducer, NeverSplitsASessionNorKeepsALoadWhoseStoreWent) {
  std::mt19937 rng(11);
  for (int round = 0; round < 40; ++round) {
    const TraceSet set = random_set(rng, 3, 12);
    std::bernoulli_distribution coin(0.8);
    ReducerHooks hooks;
    hooks.keeps_verdict = [&](const Selection&) { return coin(rng); };
    const Selection result = reduce(set, hooks);
    for (const Unit& unit : small_units(set)) {
      const Op first = unit.operations.front();
      for (const auto& [p, i] : unit.operations)
        EXPECT_EQ(result[p][i], result[first.first][first.second]);
    }
    for (size_t p = 0; p < set.processors.size(); ++p) {
      for (size_t i = 0; i < result[p].size(); ++i) {
        const Operation& load = set.processors[p].operations[i];
        if (!result[p][i] || load.kind != Operation::Kind::Load || load.value == 0) continue;
        bool written = false;
        for (size_t q = 0; q < set.processors.size(); ++q) {
          for (size_t j = 0; j < result[q].size(); ++j) {
            const Operation& store = set.processors[q].operations[j];
            written |= result[q][j] && store.kind == Operation::Kind::Store &&
                       store.addr == load.addr && store.value == load.value;
          }
        }
        EXPECT_TRUE(written) << "processor " << p << " operation " << i;
      }
    }
  }
}

TEST(Reducer, StopsWhenOutOfTimeWithTheSetItStartedFrom) {
  std::mt19937 rng(3);
  const TraceSet set = random_set(rng, 2, 6);
  ReducerHooks hooks;
  hooks.keeps_verdict = [](const Selection&) { return true; };
  hooks.out_of_time = [] { return true; };
  EXPECT_EQ(reduce(set, hooks), select_all(set));
}

// A kept operation had completed at a scan exactly when its new number is
// below the new lb, and had been issued exactly when it is below the new ub.
TEST(BoundRows, KeptOperationsKeepTheirStatusAtEveryScan) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    Processor proc;
    const int length = static_cast<int>(rng() % 12);
    proc.operations.resize(static_cast<size_t>(length));
    int lb = 0, ub = 0;
    for (int scan = 1; scan <= 6; ++scan) {
      ub = std::min(length, ub + static_cast<int>(rng() % 4));
      lb = std::min(ub, lb + static_cast<int>(rng() % 4));
      proc.rows.push_back({scan, lb, ub});
    }
    std::vector<bool> kept(static_cast<size_t>(length));
    for (size_t i = 0; i < kept.size(); ++i) kept[i] = rng() % 2 == 0;
    const std::vector<BoundRow> rows = renumber_rows(proc, kept);
    ASSERT_EQ(rows.size(), proc.rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
      EXPECT_EQ(rows[r].scan, proc.rows[r].scan);
      int renumbered = 0;
      for (int i = 0; i < length; ++i) {
        if (!kept[static_cast<size_t>(i)]) continue;
        EXPECT_EQ(renumbered < rows[r].lb, i < proc.rows[r].lb);
        EXPECT_EQ(renumbered < rows[r].ub, i < proc.rows[r].ub);
        ++renumbered;
      }
    }
  }
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

qirn_batch::Outcome run_qirn(const std::string& dir, int processors, const std::string& model) {
  qirn_batch::RunSettings settings{QIRN_EXE, model, false, 1, 60, {}};
  qirn_batch::Outcome outcome;
  qirn_batch::run_batch({{dir, processors}}, settings,
                        [&](size_t, const qirn_batch::Outcome& got) { outcome = got; });
  return outcome;
}

bool same_kind(const qirn_batch::Outcome& a, const qirn_batch::Outcome& b) {
  return a.verdict == b.verdict && a.detail == b.detail && a.status == b.status;
}

class ShrinkRun : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("shrink_run_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "in");
  }
  void TearDown() override { fs::remove_all(root_); }

  int shrink(const std::string& model, const std::string& out, std::string& printed) {
    const std::string command = std::string(QIRN_SHRINK_EXE) + " -p 4 -m " + model + " -i " +
                                (root_ / "in/").string() + " -o " + (root_ / out).string() +
                                " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
      printed.append(buffer, got);
    }
    return pclose(pipe);
  }

  fs::path root_;
};

// qirn itself is the test: the cut set gives the verdict of the full one,
// and cutting any one more unit from it changes that verdict.
TEST_F(ShrinkRun, SimulatedViolationsShrinkToOneMinimalSetsWithTheSameVerdict) {
  struct Case {
    std::string model;
    int locks;
    uint64_t seed;
  };
  for (const auto& [model, locks, seed] : {Case{"SC", 2, 2}, Case{"PC", 2, 2}, Case{"RC", 6, 2}}) {
    qirn_gen::GenConfig config;
    config.processors = 4;
    config.operations = 60;
    config.violations = 1;
    config.locks = locks;
    config.seed = seed;
    config.prefix = (root_ / "in").string() + "/";
    qirn_gen::write_run(qirn_gen::generate(config), config);
    SCOPED_TRACE(model);
    std::string printed;
    ASSERT_EQ(shrink(model, "out" + model, printed), 0) << printed;
    const std::string out = (root_ / ("out" + model)).string();
    const int processors = qirn_batch::count_trace_files(out);
    EXPECT_NE(printed.find("reproduce: qirn -p " + std::to_string(processors) + " -m " + model),
              std::string::npos)
        << printed;
    const auto original = run_qirn((root_ / "in").string(), 4, model);
    ASSERT_TRUE(same_kind(run_qirn(out, processors, model), original));
    const ReadResult cut = read_trace_set(out + "/", processors, true);
    ASSERT_EQ(cut.error, "");
    const fs::path probe = root_ / "probe";
    expect_one_minimal(cut.set, select_all(cut.set), [&](const Selection& s) {
      fs::remove_all(probe);
      fs::create_directories(probe);
      std::string error;
      const int written = write_trace_set(cut.set, s, probe.string(), error);
      return same_kind(run_qirn(probe.string(), written, model), original);
    });
    std::string again;
    ASSERT_EQ(shrink(model, "again", again), 0);
    for (int p = 0; p < processors; ++p) {
      const std::string name = "tfres." + std::to_string(p);
      EXPECT_EQ(read_file(root_ / "again" / name), read_file(fs::path(out) / name));
    }
  }
}

TEST_F(ShrinkRun, APassingSetIsNotShrunk) {
  std::ofstream(root_ / "in/tfres.0") << "store 0 1\nload 0 1\n";
  for (int p = 1; p < 4; ++p) std::ofstream(root_ / "in" / ("tfres." + std::to_string(p))) << "";
  for (int p = 0; p < 4; ++p)
    std::ofstream(root_ / "in" / ("boundgt." + std::to_string(p))) << "1:0,0\n";
  std::string printed;
  EXPECT_EQ(WEXITSTATUS(shrink("SC", "out", printed)), 1);
  EXPECT_NE(printed.find("nothing to shrink"), std::string::npos) << printed;
  EXPECT_FALSE(fs::exists(root_ / "out"));
}

}  // namespace
