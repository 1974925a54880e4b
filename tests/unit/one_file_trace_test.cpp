// The one-file trace (`--trace FILE`): its lines, and whole runs that must
// print what the same run written as trace files prints.
#include "trace/one_file_trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "report/diagnostics.h"
#include "run/driver.h"
#include "support/trace_fixture.h"

namespace {

using Kind = OneFileLineKind;

struct LineCase {
  const char* text;
  Kind kind;
  int_t thread = 0;
  op_type_t optype = OPEND;
  int_t addr = 0;
  int_t val = 0;
};

// The edges of every number's range and of the line's shape; the accepted
// forms themselves are covered by the runs below.
TEST(OneFileLines, NumbersKeepTheirRangesAndOnlyWholeOperationsRead) {
  const LineCase cases[] = {
      {"1023: M[2147483646] == -2147483648 @ -5:9223372036854775807\r\n", Kind::Operation, 1023,
       LOAD, 2147483646, INT32_MIN},
      {"\t7 :M [ 0 ]:=2147483647@:1", Kind::Operation, 7, STORE, 0, INT32_MAX},
      {"0: sync@3:", Kind::Operation, 0, FENCE},
      {"  # 0: M[0] := 1\n", Kind::Skipped},
      {" \t\r\n", Kind::Skipped},
      {"1024: sync", Kind::ThreadBeyondLimit},
      {"99999999999999999999: sync", Kind::ThreadBeyondLimit},
      {"2: {M[0]==1;M[0]:=-2} @ 1:2", Kind::Operation, 2, RMW, 0, -2},
      {"2: { M[0] == 1; M[1] := 2 }", Kind::Malformed},
      {"2: { M[0] := 1; M[0] == 2 }", Kind::Malformed},
      {"2: { M[0] == 1; M[0] := 2", Kind::Malformed},
      {"0: M[2147483647] := 1", Kind::Malformed},
      {"0: M[-1] := 1", Kind::Malformed},
      {"0: M[0] := 2147483648", Kind::Malformed},
      {"0: M[0] := 1 @ :", Kind::Malformed},
      {"0: M[0] := 1 @ 1:2:3", Kind::Malformed},
      {"0: M[0] := 1 @ 9223372036854775808:", Kind::Malformed},
      {"0: M[0] = 1", Kind::Malformed},
      {"0: M[0] := 1 # note", Kind::Malformed},
      {"0: syncs", Kind::Malformed},
      {"0: SYNC", Kind::Malformed},
      {"-1: sync", Kind::Malformed},
      {"+1: sync", Kind::Malformed},
      {"0 sync", Kind::Malformed},
  };
  for (const LineCase& c : cases) {
    const OneFileLine line = parse_one_file_line(c.text);
    EXPECT_EQ(line.kind, c.kind) << c.text;
    if (c.kind != Kind::Operation) continue;
    EXPECT_EQ(line.thread, c.thread) << c.text;
    EXPECT_EQ(line.operation.optype, c.optype) << c.text;
    EXPECT_EQ(line.operation.readVal, c.optype == RMW ? 1 : 0) << c.text;
    EXPECT_EQ(line.operation.addr, c.addr) << c.text;
    EXPECT_EQ(line.operation.val, c.val) << c.text;
  }
  EXPECT_EQ(parse_one_file_line(std::string("0: sync\0", 8)).kind, Kind::Malformed);
}

// One random run written both ways: each processor's trace file, and the
// one file that interleaves the threads' lines at random, with random blanks
// around the tokens, times, comments and blank lines.
class RandomRun {
 public:
  RandomRun(std::mt19937& random, bool fences, bool rmws) : random_(random), rmws_(rmws) {
    const int processors = 1 + pick(4);
    traces.resize(processors);
    std::vector<std::vector<std::string>> lines(processors);
    for (int p = 0; p < processors; ++p) {
      // A thread without lines before the last one gets an empty trace.
      const int count = p + 1 == processors ? 1 + pick(15) : pick(4) == 0 ? 0 : pick(16);
      for (int s = 0; s < count; ++s) add_operation(p, fences, lines[p]);
    }
    interleave(lines);
  }

  std::vector<std::string> traces;
  std::string oneFile;

 private:
  int pick(int n) { return static_cast<int>(random_() % n); }
  std::string blanks() {
    static const char* const kBlanks[] = {"", "", " ", "\t", "  "};
    return kBlanks[pick(5)];
  }
  std::string times() {
    const std::string begin = std::to_string(pick(40) - 5);
    const std::string end = std::to_string(pick(40));
    switch (pick(4)) {
      case 0:
        return blanks() + "@" + blanks() + begin + blanks() + ":" + blanks() + end;
      case 1:
        return " @ " + begin + ":";
      case 2:
        return "@:" + end;
      default:
        return "";
    }
  }

  void add_operation(int p, bool fences, std::vector<std::string>& lines) {
    const int address = pick(3);
    int kind = pick(fences ? 6 : 5);
    if (kind == 4 && !rmws_) kind = 3;
    std::string body;
    if (kind == 5) {
      traces[p] += "fence\n";
      body = "sync";
    } else if (kind == 4) {
      body = add_rmw(p, address);
    } else {
      const bool store = kind < 2;
      // Stores write 1, 2, ... per address; loads read one of them or 0.
      const int value = store ? ++stored_[address] : pick(stored_[address] + 1) + (pick(8) == 0);
      traces[p] += (store ? "store " : "load ") + std::to_string(address) + " " +
                   std::to_string(value) + "\n";
      body = "M" + blanks() + "[" + blanks() + std::to_string(address) + blanks() + "]" + blanks() +
             (store ? ":=" : "==") + blanks() + std::to_string(value);
    }
    lines.push_back(blanks() + std::to_string(p) + blanks() + ":" + blanks() + body + times() +
                    blanks() + (pick(6) == 0 ? "\r\n" : "\n"));
  }

  // An RMW reads one of the values stored so far, or 0, and writes the next.
  std::string add_rmw(int p, int address) {
    const std::string read = std::to_string(pick(stored_[address] + 1));
    const std::string written = std::to_string(++stored_[address]);
    const std::string at = std::to_string(address);
    traces[p] += "rmw " + at + " " + read + " " + written + "\n";
    return "{" + blanks() + "M[" + at + "]==" + blanks() + read + ";" + blanks() + "M[" + at +
           "] :=" + written + blanks() + "}";
  }

  void interleave(std::vector<std::vector<std::string>>& lines) {
    std::vector<std::size_t> next(lines.size(), 0);
    for (;;) {
      std::vector<std::size_t> open;
      for (std::size_t p = 0; p < lines.size(); ++p) {
        if (next[p] < lines[p].size()) open.push_back(p);
      }
      if (open.empty()) break;
      if (pick(6) == 0) oneFile += pick(2) == 0 ? "\n" : "# a note: 0: M[0] := 1\n";
      const std::size_t p = open[pick(static_cast<int>(open.size()))];
      oneFile += lines[p][next[p]++];
    }
  }

  std::mt19937& random_;
  bool rmws_;
  int stored_[3] = {0, 0, 0};
};

using OneFileRuns = TraceFixture;

// Every model in baseline mode prints, byte for byte, what it prints for the
// same run as trace files, whose times only WMO reads; -p gives way to the
// file's thread count. Runs without RMWs keep program order implicit, those
// with RMWs as arcs.
TEST_F(OneFileRuns, PrintWhatTheSameTraceFilesPrint) {
  std::mt19937 random(23);
  int violations = 0;
  for (int round = 0; round < 300; ++round) {
    const RandomRun trace(random, round % 2 == 1, round % 3 == 0);
    const std::string prefix = write_files(std::to_string(round) + "-tfres", trace.traces);
    const std::string file = scratch_ + "/" + std::to_string(round) + "-run.txt";
    std::ofstream(file, std::ios::binary) << trace.oneFile;
    const std::string processors = std::to_string(trace.traces.size());
    for (const char* model : {"SC", "PC", "TSO", "PSO", "RC", "ScC"}) {
      const std::string expected = whole_run(
          {"-b", "-m", model, "-p", processors, "-i", prefix.substr(0, prefix.size() - 5)});
      EXPECT_EQ(whole_run({"-b", "-m", model, "-p", "9", "--trace", file}), expected)
          << "round " << round << " " << model << "\n"
          << trace.oneFile;
      violations += std::regex_search(expected, std::regex("find cycle|has violation|no path"));
    }
  }
  EXPECT_GT(violations, 20);  // the runs are not all legal
}

}  // namespace
