// qirn-witness: the DOT graph it writes, read back and held against the cycle
// that the same run prints.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

#include "support/tool_runs.h"

namespace {

namespace fs = std::filesystem;
using Arc = std::tuple<std::string, std::string, std::string>;  // from, to, tag

CommandRun run_witness(const fs::path& dir, const std::string& args) {
  return run_command("cd '" + dir.string() + "' && " + QIRN_WITNESS_EXE + " " + args +
                     " 2>/dev/null");
}

// The arcs of the printed cycle, the first line with an arc tag: "A<-t-B" is
// an arc from B to A.
std::set<Arc> printed_arcs(const std::string& out) {
  const size_t tag = out.find(")<-");
  if (tag == std::string::npos) return {};
  const size_t from = out.rfind('\n', tag) + 1;
  const std::string line = out.substr(from, out.find('\n', from) - from);
  static const std::regex kStep(R"((\([^()]*\))(?:<-(\w+)-)?)");
  std::vector<std::pair<std::string, std::string>> steps;
  for (std::sregex_iterator it(line.begin(), line.end(), kStep), end; it != end; ++it) {
    steps.emplace_back((*it)[1], (*it)[2]);
  }
  std::set<Arc> arcs;
  for (size_t i = 1; i < steps.size(); ++i) {
    arcs.insert({steps[i].first, steps[i - 1].first, steps[i - 1].second});
  }
  return arcs;
}

struct Dot {
  std::map<std::string, std::string> labels;        // node id -> label
  std::map<std::string, std::vector<int>> columns;  // cluster -> sequence numbers, in order
  std::set<Arc> cycleArcs;                          // by label, tag
  std::set<std::string> dashedTags;
};

Dot parse_dot(const std::string& text) {
  static const std::regex kNode(R"rx(^\s*"(G(\d+)_(\d+))" \[label="([^"]*)")rx");
  static const std::regex kArc(R"rx(^\s*"(G\d+_\d+)" -> "(G\d+_\d+)" \[label="(\w+)"(.*)\];)rx");
  static const std::regex kCluster(R"(^\s*subgraph cluster_(\d+))");
  Dot dot;
  std::istringstream lines(text);
  std::string cluster;
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, m, kCluster)) cluster = m[1];
    if (std::regex_search(line, m, kNode)) {
      dot.labels[m[1]] = m[4];
      EXPECT_EQ(m[2].str(), cluster);
      dot.columns[cluster].push_back(std::stoi(m[3]));
    }
    if (std::regex_search(line, m, kArc)) {
      dot.cycleArcs.insert({dot.labels.at(m[1]), dot.labels.at(m[2]), m[3]});
      if (m[4].str().find("style=dashed") != std::string::npos) dot.dashedTags.insert(m[3]);
    }
  }
  return dot;
}

class Witness : public ::testing::TestWithParam<const char*> {};

// Each scenario's own arguments; the picture must show exactly the printed
// cycle, columns in program order, and every cycle operation's neighbours,
// and the status stays qirn's (255 where a stale read that the scans prove
// stops the run after its two-operation cycle).
TEST_P(Witness, DrawsThePrintedCycle) {
  const fs::path dir = fs::path(QIRN_E2E_DIR) / GetParam();
  std::string args = read_file(dir / "args");
  args.erase(args.find_last_not_of("\n ") + 1);
  const fs::path picture = fs::temp_directory_path() / ("witness_" + std::to_string(getpid()));
  const CommandRun run = run_witness(dir, args + " -o " + picture.string());
  const std::string status = read_file(dir / "expected.rc");
  ASSERT_EQ(run.status, status.empty() ? 0 : std::stoi(status)) << run.out;
  const std::set<Arc> printed = printed_arcs(run.out);
  ASSERT_FALSE(printed.empty()) << run.out;
  const Dot dot = parse_dot(read_file(picture));
  fs::remove(picture);
  EXPECT_EQ(dot.cycleArcs, printed);
  for (const std::string& tag : dot.dashedTags) EXPECT_EQ(tag, "T");
  for (const auto& [cluster, seqs] : dot.columns) {
    EXPECT_TRUE(std::is_sorted(seqs.begin(), seqs.end())) << "processor " << cluster;
  }
  for (const auto& [from, to, tag] : printed) {
    static const std::regex kName(R"(G\[(\d+)\]\[(\d+)\])");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(from, m, kName));
    const auto& seqs = dot.columns.at(m[1]);
    const int seq = std::stoi(m[2]);
    if (seq > 0) {
      EXPECT_NE(std::find(seqs.begin(), seqs.end(), seq - 1), seqs.end()) << from;
    }
  }
}

// Two sessions of one lock that would have to overlap: no cycle is printed, so
// the picture is the set of operations that admits no order. Each session
// stores what the other one's load finds still 0, and only the arcs that no
// other path implies are drawn.
TEST(WitnessCore, DrawsTheOperationsThatAdmitNoOrder) {
  const fs::path dir = fs::path(QIRN_E2E_DIR) / "scc-no-path";
  const fs::path picture = fs::temp_directory_path() / ("core_" + std::to_string(getpid()));
  const CommandRun run = run_witness(dir, "-p 2 -b -o " + picture.string());
  ASSERT_EQ(run.status, 0) << run.out;
  ASSERT_TRUE(printed_arcs(run.out).empty());
  const Dot dot = parse_dot(read_file(picture));
  fs::remove(picture);
  EXPECT_EQ(dot.labels.size(), 8U);
  EXPECT_TRUE(dot.cycleArcs.count({"(G[0][2]:L[1]=0)", "(G[1][1]:S[1]#1)", "I"}));
  EXPECT_TRUE(dot.cycleArcs.count({"(G[1][2]:L[0]=0)", "(G[0][1]:S[0]#1)", "I"}));
  EXPECT_FALSE(dot.cycleArcs.count({"(G[0][0]:Acquire 0)", "(G[0][3]:Release 0)", "P"}));
}

// qirn's output-file option, in any spelling qirn would read as it, is
// refused before anything runs: -o names the picture here. So is an option
// of qirn-witness's own without its value or with a wrong one.
TEST(WitnessOptions, RefusesQirnsOwnOutputFileAndBadOwnOptions) {
  const fs::path dir = fs::temp_directory_path() / ("outp_" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (const char* spelling : {"--outp=x", "--outp x", "--o=x", "--output=", "-bo", "--format",
                               "--format png --format dot"}) {
    const CommandRun run = run_witness(dir, std::string("-p 2 -o pic.dot ") + spelling);
    EXPECT_EQ(run.status, 2) << spelling;
    EXPECT_EQ(run.out, "") << spelling;
  }
  EXPECT_TRUE(fs::is_empty(dir));
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, Witness,
    ::testing::Values("sc-cycle-closed-by-time", "sc-cycle-closed-by-arcs-baseline",
                      "sc-optimized-cycle-closed-by-a-scan", "rc-cycle-before-search",
                      "rc-session-sees-middle-of-session", "scc-cycle-before-search",
                      "sc-write-to-timed-before-store"));

}  // namespace
