// Whole runs in-process: a fatal stop unwinds instead of ending the process,
// and reset_run_state gives the next run a clean start.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gen/files.h"
#include "gen/generate.h"
#include "report/diagnostics.h"
#include "run/driver.h"
#include "support/trace_fixture.h"

namespace {

class InProcessRuns : public TraceFixture {
 protected:
  // A generated trace set of `processors` processors in the scratch directory.
  std::string generate(std::uint64_t seed, int processors, int locks, int violations) {
    qirn_gen::GenConfig config;
    config.seed = seed;
    config.processors = processors;
    config.operations = 6;
    config.locks = locks;
    config.violations = violations;
    config.prefix = scratch_ + "/" + std::to_string(seed) + "-";
    qirn_gen::write_run(qirn_gen::generate(config), config);
    return config.prefix;
  }
};

// Every model and mode, each run twice with other runs, and runs that stop,
// in between: the second run prints exactly what the first printed.
TEST_F(InProcessRuns, RepeatedRunsPrintTheSameAsTheFirst) {
  std::vector<std::vector<std::string>> runs;
  for (std::uint64_t seed = 1; seed <= 4; ++seed) {
    const std::string prefix = generate(seed, 3, seed % 2 == 0 ? 1 : 0, seed % 3 == 0 ? 1 : 0);
    for (const char* model : {"SC", "PC", "RC", "ScC"}) {
      runs.push_back({"-p", "3", "-m", model, "-i", prefix});
      runs.push_back({"-p", "3", "-m", model, "-b", "-i", prefix});
    }
  }
  runs.push_back({"-p", "3", "-m", "SC", "-i", scratch_ + "/none-"});
  runs.push_back({"-p", "0"});
  std::vector<std::string> first;
  for (const auto& words : runs) first.push_back(whole_run(words));
  EXPECT_EQ(first[runs.size() - 2],
            "The memory model to be verified is SC\n"
            "open test result file: No such file or directory\nstatus 255\n");
  EXPECT_EQ(first.back(), "not valid processor number!\nstatus 255\n");
  for (std::size_t i = runs.size(); i-- > 0;) EXPECT_EQ(whole_run(runs[i]), first[i]) << i;
}

TEST(FatalStops, CarryTheFormattedMessageToTheGuard) {
  reset_run_state();
  try {
    err_quit("stopped at %d", 3);
    FAIL() << "err_quit returned";
  } catch (const FatalStop& stop) {
    EXPECT_STREQ(stop.what(), "stopped at 3\n");
  }
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(run_guarded([]() -> int { throw std::bad_alloc(); }), 255);
  EXPECT_EQ(run_guarded([] { return 0; }), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "out of memory\n");
}

// With both streams on one file, buffered standard output must come first.
TEST(FatalReports, StandardOutputIsFlushedBeforeTheMessage) {
  char pattern[] = "/tmp/qirn-diag-XXXXXX";
  const std::string path = std::string(mkdtemp(pattern)) + "/both";
  EXPECT_EXIT(
      {
        if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::exit(2);
        dup2(fileno(stdout), fileno(stderr));
        std::printf("diagnostic line\n");
        reset_run_state();
        as_main([] { err_quit("stopped"); });
      },
      testing::ExitedWithCode(255), "");
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), "diagnostic line\nstopped\n");
  std::remove(path.c_str());
  rmdir(pattern);
}

}  // namespace
