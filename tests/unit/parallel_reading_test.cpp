// Reading and the windows split by processor over several threads: every
// run, on good input or bad, prints the bytes of the same run in one thread.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "gen/generate.h"
#include "support/trace_fixture.h"

namespace {

using qirn_gen::GenConfig;

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A line that stops the reading of a trace or a bound file in its own way,
// or a line that must not: a comment, a blank, a line repeated or gone.
std::string damaged_line(const std::string& line, std::mt19937& random) {
  static const std::vector<std::string> kLines = {
      "load 1", "acquire",     "release", "jump 1 2", "store -4 1", "store 99999999999 1",
      "3:x,1",  "5:0,9999999", "#",       "",         "fence",      "rmw 1 2"};
  const std::size_t pick = random() % (kLines.size() + 2);
  if (pick == kLines.size()) return line + "\n" + line;
  if (pick == kLines.size() + 1) return "";
  return kLines[pick];
}

// `text` with one line replaced by a damaged one, and without its last
// newline now and then.
std::string damaged(const std::string& text, std::mt19937& random) {
  std::vector<std::string> lines = lines_of(text);
  if (lines.empty()) return text;
  std::string& line = lines[random() % lines.size()];
  line = damaged_line(line, random);
  std::string result;
  for (const std::string& kept : lines) result += kept + "\n";
  if (random() % 4 == 0) result.pop_back();
  return result;
}

GenConfig shape(uint64_t seed) {
  GenConfig c;
  c.seed = seed;
  c.processors = 2 + static_cast<int32_t>(seed % 5);
  c.operations = 5 + static_cast<int32_t>(seed * 7 % 30);
  c.addresses = 1 + static_cast<int32_t>(seed % 4);
  c.locks = static_cast<int32_t>(seed % 3);
  c.scanDistance = 1 + static_cast<int32_t>(seed % 6);
  c.violations = static_cast<int32_t>(seed % 2);
  return c;
}

class ParallelReading : public TraceFixture {};

// Damage goes to trace and bound files alike, one to three lines a run, so
// that the threads meet faults in several files at once; with --exit-code
// the stop also names the file and line it met.
TEST_F(ParallelReading, ThreadsPrintTheBytesOfOneThread) {
  const int runs = count_from_env("QIRN_PARALLEL_READING_RUNS", 300);
  int stopped = 0;
  for (uint64_t seed = 1; seed <= static_cast<uint64_t>(runs); ++seed) {
    std::mt19937 random(static_cast<unsigned>(seed));
    const GenConfig config = shape(seed);
    RunFiles files = run_files(qirn_gen::generate(config), config);
    for (int hits = static_cast<int>(random() % 4); hits > 0; --hits) {
      std::vector<std::string>& texts = random() % 2 == 0 ? files.traces : files.bounds;
      std::string& text = texts[random() % texts.size()];
      text = damaged(text, random);
    }
    write_files("tfres", files.traces);
    write_files("boundgt", files.bounds);
    std::vector<std::string> words =
        set_arguments(files.traces.size(), seed % 3 == 0 ? "ScC" : "SC", seed % 4 != 0, scratch_);
    if (seed % 2 == 0) words.push_back("--exit-code");
    std::vector<std::string> threaded = words;
    threaded.insert(threaded.end(), {"-j", std::to_string(2 + seed % 4)});
    words.insert(words.end(), {"--threads", "1"});
    const std::string alone = whole_run(words);
    ASSERT_EQ(whole_run(threaded), alone) << "seed " << seed;
    stopped += alone.find("error") != std::string::npos ? 1 : 0;
  }
  EXPECT_GT(stopped, runs / 5);
  EXPECT_LT(stopped, runs * 4 / 5);
}

TEST_F(ParallelReading, ThreadCountIsAWholeNumberFromOne) {
  for (const char* count : {"0", "-2", "two", "3x", "", "99999999999"}) {
    EXPECT_EQ(whole_run({"-j", count, "-p", "1"}), "not valid thread count!\nstatus 255\n")
        << count;
  }
}

}  // namespace
