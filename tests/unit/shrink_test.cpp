// qirn-shrink run as a user runs it on simulated runs: cut sets that keep
// the verdict and need every unit they keep, the folders it writes into, its
// time limit and its interrupts.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "batch/sets.h"
#include "shrink/reducer.h"
#include "shrink/trace_set.h"
#include "support/tool_runs.h"

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

// A store goes with what read it, and an RMW among those with what read the
// RMW, so no kept line is left reading a value nothing kept wrote.
TEST(ShrinkRemoval, AStoreTakesTheRmwsThatReadItAndWhatTheyWrote) {
  using Kind = Operation::Kind;
  const auto op = [](Kind kind, int value, int read = 0) {
    return Operation{"", kind, -1, 0, value, read};
  };
  TraceSet set;
  set.processors.push_back({{op(Kind::Store, 1), op(Kind::Load, 3)}, {}});
  set.processors.push_back({{op(Kind::Rmw, 2, 1), op(Kind::Rmw, 3, 2), op(Kind::Store, 4)}, {}});
  Selection selection = select_all(set);
  Removal(set).remove(selection, Unit{{{0, 0}}});
  EXPECT_EQ(selection, (Selection{{false, false}, {false, false, true}}));
}

bool same_kind(const qirn_batch::Outcome& a, const qirn_batch::Outcome& b) {
  return a.verdict == b.verdict && a.detail == b.detail && a.status == b.status;
}

class ShrinkRun : public ToolScratch {
 protected:
  void generate(int locks, uint64_t seed) {
    qirn_gen::GenConfig config;
    config.processors = 4;
    config.operations = 60;
    config.violations = 1;
    config.locks = locks;
    config.seed = seed;
    ToolScratch::generate("in", config);
  }

  // Runs qirn-shrink in root_ with the arguments; its exit status.
  int run(const std::string& args, std::string& printed) {
    const CommandRun run =
        run_command("cd " + root_.string() + " && " + QIRN_SHRINK_EXE + " " + args + " 2>&1");
    printed += run.out;
    return run.status;
  }

  int shrink(const std::string& model, const std::string& out, std::string& printed) {
    return run("-p 4 -m " + model + " -i in/ -o " + out, printed);
  }

  // A qirn for --qirn: the run on the given set is the real one; every run
  // on a candidate, in qirn-shrink's temporary folder, does `behaviour` first.
  std::string fake_qirn(const std::string& behaviour) {
    return ToolScratch::fake_qirn("fake-qirn", "*/qirn-shrink.*", behaviour);
  }
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
    generate(locks, seed);
    SCOPED_TRACE(model);
    std::string printed;
    ASSERT_EQ(shrink(model, "out" + model, printed), 0) << printed;
    const std::string out = (root_ / ("out" + model)).string();
    const int processors = qirn_batch::count_trace_files(out);
    EXPECT_NE(printed.find("reproduce: qirn -p " + std::to_string(processors) + " -m " + model),
              std::string::npos)
        << printed;
    const auto original = run_qirn_once((root_ / "in").string(), 4, model);
    ASSERT_TRUE(same_kind(run_qirn_once(out, processors, model), original));
    const ReadResult cut = read_trace_set(out + "/", processors, true);
    ASSERT_EQ(cut.error, "");
    const fs::path probe = root_ / "probe";
    expect_one_minimal(cut.set, select_all(cut.set), [&](const Selection& s) {
      fs::remove_all(probe);
      fs::create_directories(probe);
      std::string error;
      const int written = write_trace_set(cut.set, s, probe.string(), error);
      return same_kind(run_qirn_once(probe.string(), written, model), original);
    });
    std::string again;
    ASSERT_EQ(shrink(model, "again" + model, again), 0);
    for (int p = 0; p < processors; ++p) {
      const std::string name = "tfres." + std::to_string(p);
      EXPECT_EQ(read_file(root_ / ("again" + model) / name), read_file(fs::path(out) / name));
    }
  }
}

std::map<std::string, std::string> folder_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(dir)) {
    files[entry.path().filename().string()] = read_file(entry.path());
  }
  return files;
}

// The input folder is refused under any of its names, and so is a folder
// that holds files, unless --force; even then only its set files go.
TEST_F(ShrinkRun, WritesNeitherIntoItsInputNorOverFilesItDidNotWrite) {
  generate(2, 2);
  fs::create_directory_symlink("in", root_ / "link");
  fs::create_directories(root_ / "full");
  std::ofstream(root_ / "full/notes") << "kept\n";
  std::ofstream(root_ / "full/tfres.7") << "stale\n";
  const auto input = folder_files(root_ / "in");
  for (const std::string& args : std::vector<std::string>{
           "-i in/ -o in", "-i in/ -o ./in/", "-i ./link/ -o in", "-i in/ -o link",
           "-i in/ -o " + (root_ / "in").string(), "-i in/ -o full"}) {
    std::string printed;
    EXPECT_EQ(run("-p 4 -m PC " + args, printed), 2) << args;
    EXPECT_NE(printed.find("qirn-shrink: the output folder"), std::string::npos) << printed;
  }
  EXPECT_EQ(folder_files(root_ / "in"), input);
  std::string printed;
  ASSERT_EQ(run("-p 4 -m PC -i in/ -o full --force", printed), 0) << printed;
  const auto written = folder_files(root_ / "full");
  EXPECT_EQ(written.at("notes"), "kept\n");
  EXPECT_EQ(written.count("tfres.7"), 0u);
  EXPECT_EQ(written.count("tfres.0"), 1u);
}

// The whole set is checked with its full time, so a time limit shorter than
// one qirn run still leaves the given set, rewritten, in the output folder.
TEST_F(ShrinkRun, ATimeLimitShorterThanOneRunWritesTheWholeSet) {
  generate(2, 2);
  std::string printed;
  ASSERT_EQ(run("-p 4 -m PC -i in/ -o out -t 0.3 --qirn " + fake_qirn("sleep 0.6"), printed), 0)
      << printed;
  const size_t before = printed.find("before: ") + 8;
  const std::string size = printed.substr(before, printed.find('\n', before) - before);
  EXPECT_NE(printed.find("after: " + size + " ("), std::string::npos) << printed;
  EXPECT_EQ(qirn_batch::count_trace_files((root_ / "out").string()), 4);
}

// An interrupt while a candidate runs ends that qirn and removes the
// temporary folder with its copies of the traces.
TEST_F(ShrinkRun, AnInterruptEndsTheRunningQirnAndRemovesTheTemporaryFolder) {
  generate(2, 2);
  const fs::path mark = root_ / "mark";
  const std::string qirn = fake_qirn("echo $$ > " + mark.string() + "; exec sleep 60");
  const std::string in = (root_ / "in/").string(), out = (root_ / "out").string();
  for (const auto& [signal, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    fs::remove_all(root_ / "tmp");
    fs::create_directories(root_ / "tmp");
    fs::remove(mark);
    const auto started = [&] {
      std::error_code error;
      return fs::file_size(mark, error) + 1 > 1;
    };
    const int waited =
        interrupted({QIRN_SHRINK_EXE, "-p", "4", "-m", "PC", "-i", in, "-o", out, "--qirn", qirn},
                    started, signal, (root_ / "tmp").string());
    pid_t child = 0;
    std::ifstream(mark) >> child;
    ASSERT_GT(child, 0);
    EXPECT_TRUE(WIFEXITED(waited) && WEXITSTATUS(waited) == status) << waited;
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
    EXPECT_TRUE(ends_soon(child));
  }
}

}  // namespace
