// Builds a run state from traces written inline, so that a test can run any
// stage in isolation.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "gen/generate.h"
#include "qirn.h"
#include "report/diagnostics.h"

// The text of `count` stores to address 0 with the values 1, 2, ...
std::string stores(int count);

// Everything `run` prints on standard output.
template <class Run>
std::string printed(Run&& run) {
  ::testing::internal::CaptureStdout();
  run();
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// Standard output and standard error of one whole run in-process with the
// given options, then "status N" with its exit status; the processor time is
// masked.
std::string whole_run(std::vector<std::string> words);

// The trace files and the bound files of a run that qirn-gen simulated.
struct RunFiles {
  std::vector<std::string> traces;
  std::vector<std::string> bounds;
};
RunFiles run_files(const qirn_gen::GeneratedRun& run, const qirn_gen::GenConfig& config);

// The arguments of a run on the files in `dir`: -p, -m, -i and -b unless
// `optimized`.
std::vector<std::string> set_arguments(std::size_t processors, const std::string& model,
                                       bool optimized, const std::string& dir);

enum class RunVerdict { Pass, Violation, None };
const char* name(RunVerdict verdict);

// The verdict of a whole run as whole_run shows it: a violation line, or a
// stop on a load that the scans place before its store; else a pass line
// with status 0.
RunVerdict verdict_of(const std::string& run);

// The number that the environment variable `name` holds, which the slow
// label's long runs set, or else `fallback`.
int count_from_env(const char* name, int fallback);

// Runs `stage` as main runs the stages and exits with main's status: for
// EXPECT_EXIT on the message and status of a fatal stop.
template <class Stage>
void as_main(Stage&& stage) {
  std::exit(run_guarded([&] {
    stage();
    return 0;
  }));
}

class TraceFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes `name`.p for every entry (the file's full text) into the scratch
  // directory and returns the prefix to use for them.
  std::string write_files(const std::string& name, const std::vector<std::string>& texts);

  // Writes the files and runs qirn on them under `model`, with the bound
  // files or in baseline mode; what whole_run shows.
  std::string run_on(const RunFiles& files, const std::string& model, bool optimized);

  // Writes the traces, then counts and reads them as a run would: the node
  // arrays, kinds, addresses, values and the address and lock counts. With
  // bounds, the bound files are read too (optimized mode); without, the run is
  // in baseline mode.
  void load(const std::vector<std::string>& traces, MCM_t model = SC,
            const std::vector<std::string>& bounds = {});

  opnode* op(int_t p, int_t s) { return &state->graph[p][s]; }

  // Every forward arc in list order and every reverse arc, node by node.
  using Cell = std::tuple<int_t, int_t, int_t>;  // target processor, sequence, order
  struct Arcs {
    std::vector<std::vector<Cell>> forward;
    std::vector<std::vector<Cell>> reverse;
    std::vector<int_t> pointed;
    bool operator==(const Arcs&) const = default;
  };
  static Arcs arcs();

  std::string scratch_;
};
