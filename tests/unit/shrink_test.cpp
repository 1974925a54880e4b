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

}  // namespace
