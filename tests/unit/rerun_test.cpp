// Whole runs in-process: a fatal stop unwinds to the guard instead of ending
// the process, carrying its message, and the guard's report comes after what
// the run printed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>

#include "report/diagnostics.h"
#include "support/trace_fixture.h"

namespace {

// Running out of memory is reported as such.
TEST(FatalStops, OutOfMemoryStopsWithItsMessage) {
  reset_run_state();
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
