#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bounds/active_windows.h"
#include "bounds/scans.h"
#include "bounds/windows.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/text_lines.h"

namespace {

using Window = std::vector<int_t>;

using BoundFiles = TraceFixture;

TEST(BoundLines, ParsedWithTheirWhitespaceRules) {
  EXPECT_EQ(parse_scan_count("  6:41,50"), 6);
  EXPECT_EQ(parse_scan_count("7:"), 7);
  EXPECT_EQ(parse_scan_count("# 9:1,2\n"), 0);
  int_t index = 0, lb = 0, ub = 0;
  EXPECT_EQ(parse_bound_line("1: 5, 9 and words\r\n", index, lb, ub).count, 3);
  EXPECT_EQ(std::vector<int_t>({index, lb, ub}), std::vector<int_t>({1, 5, 9}));
  for (const char* line : {"1 :5,9\n", "1:5 ,9\n", "\t\n", "  # note\n", " \r\n"}) {
    EXPECT_LT(parse_bound_line(line, index, lb, ub).count, 3) << line;
  }
}

TEST_F(BoundFiles, ScanCountsComeFromEachFilesLastLine) {
  state.NPROCESSOR = 3;
  state.QIRNBOUND = write_files("boundgt", {"3:2,3\n4:30,33\n", "6:41,50", "1:0,1\n# done\n"});
  calculate_scan();
  EXPECT_EQ(state.numOfScan, std::vector<int_t>({4, 6, 0}));
  EXPECT_EQ(state.NSCAN, 6);
}

// A file's rows run on from its first index, which may be 1 to 8.
TEST_F(BoundFiles, RowsStartAtTheFirstIndexAndSkipCommentsAndBlanks) {
  load({stores(12), stores(12)}, SC, {"# header\n2:5,9\n\n   \n3:6,10\n", "8:1,2\n9:2,3\n"});
  EXPECT_EQ(state.scan.lb(1, 0), 0);
  EXPECT_EQ(state.scan.ub(2, 0), 9);
  EXPECT_EQ(state.scan.lb(3, 0), 6);
  EXPECT_EQ(state.scan.lb(9, 1), 2);
}

TEST_F(BoundFiles, MalformedOutOfRangeOrMisnumberedRowsStopTheRun) {
  const std::string format = "^bound file format error\n$";
  const std::string index = "^QIRN_ISVALID FAILURE IN init\\.cpp , LINE 306 ! \n\n$";
  const std::pair<const char*, std::string> cases[] = {
      {"\t\n1:1,2\n", format},   {"1:1,7\n", format},       {"1:-1,2\n", format},
      {"0:1,2\n1:2,3\n", index}, {"1:1,2\n3:2,3\n", index},
  };
  for (const auto& [bound, message] : cases) {
    EXPECT_EXIT(as_main([&] { load({stores(6)}, SC, {bound}); }), ::testing::ExitedWithCode(255),
                message)
        << bound;
  }
}

TEST_F(BoundFiles, ScanNumbersFollowTheLowerBounds) {
  load({stores(10), stores(4), stores(5)}, SC, {"1:3,5\n2:7,8\n", "# none\n", "1:4,2\n2:1,1\n"});
  calculateScanNo();
  const std::vector<std::vector<int_t>> expected = {
      {0, 0, 0, 1, 1, 1, 1, 2, 2, 2}, {0, 0, 0, 0}, {0, 2, 2, 2, 2}};  // the last: decreasing lb
  for (int_t p = 0; p < 3; ++p) {
    std::vector<int_t> numbers;
    for (const opnode& u : state.graph[p]) numbers.push_back(u.scanIndex);
    EXPECT_EQ(numbers, expected[p]) << p;
  }
}

class PendingWindows : public TraceFixture {
 protected:
  void compute(const std::vector<std::string>& traces, const std::vector<std::string>& bounds) {
    load(traces, SC, bounds);
    calculatePendingWindow();
  }
  // {lpw[t], upw[t]} of operation (p, s).
  Window window(int_t p, int_t s, int_t t) { return {op(p, s)->lpw[t], op(p, s)->upw[t]}; }
};

TEST_F(PendingWindows, OneScanSplitsEachTraceInThree) {
  compute({stores(6), stores(6)}, {"1:2,4\n", "1:2,4\n"});
  EXPECT_EQ(window(0, 0, 1), Window({0, 4}));  // completed by scan 1
  EXPECT_EQ(window(0, 2, 1), Window({0, 6}));  // pending at scan 1
  EXPECT_EQ(window(0, 5, 1), Window({1, 6}));  // issued after scan 1
  EXPECT_EQ(check_TO(op(1, 0), op(0, 5)), 1);
  EXPECT_EQ(check_TO(op(1, 1), op(0, 5)), 0);  // 1 is not below lpw 1
  EXPECT_EQ(check_TO(op(1, 0), op(0, 4)), 0);  // upw 4 is not below 4
  EXPECT_EQ(check_TO(&state.sentinel, op(0, 0)), 1);
  EXPECT_EQ(check_TO(&state.sentinel, &state.sentinel), 1);
  EXPECT_EQ(check_TO(op(1, 5), &state.sentinel), 0);
  state.isBase = 1;
  EXPECT_EQ(check_TO(&state.sentinel, op(0, 0)), 0);
  EXPECT_EQ(check_TO(op(1, 0), op(0, 5)), 0);
}

TEST_F(PendingWindows, OperationPendingAtTwoScansTakesTheWidestWindow) {
  compute({stores(10), stores(10)},
          {"1:1,2\n2:3,6\n3:4,7\n4:8,9\n", "1:2,3\n2:4,5\n3:6,7\n4:8,9\n"});
  EXPECT_EQ(window(0, 4, 1), Window({1, 9}));  // pending at scans 2 and 3
  EXPECT_EQ(window(0, 2, 1), Window({1, 5}));  // between scans 1 and 2
}

TEST_F(PendingWindows, ProcessorWithoutRowsIsNeverTimedAfter) {
  compute({stores(8), stores(5)}, {"1:2,4\n2:5,6\n", "# no scans\n"});
  for (int_t s = 0; s < 8; ++s) EXPECT_EQ(op(0, s)->upw[1], 5);
  EXPECT_EQ(window(0, 7, 1), Window({4, 5}));  // only in the tail range
  EXPECT_EQ(window(1, 0, 0), Window({1, 8}));
}

TEST_F(PendingWindows, ScanBeforeTheFirstRecordGivesNoLowerBound) {
  compute({stores(6), stores(6)}, {"2:3,4\n", "1:2,3\n2:4,5\n3:5,6\n"});
  EXPECT_EQ(window(0, 0, 1), Window({0, 5}));  // processor 0 had no record at scan 1
  EXPECT_EQ(window(0, 3, 1), Window({1, 6}));
  EXPECT_EQ(window(1, 3, 0), Window({0, 4}));  // the candidate -1 becomes 0
}

// Random scan logs, most of them with columns that never decrease (the
// shortcut) and some with any bounds: the windows must be those computed
// range by range.
class WindowShortcut : public PendingWindows {
 protected:
  std::string random_log(std::mt19937& random, int_t operations, bool ordered) {
    std::string text = random() % 5 == 0 ? "# scans\n" : "";
    const int_t first = 1 + static_cast<int_t>(random() % (random() % 4 == 0 ? 8 : 2));
    const int_t rows = static_cast<int_t>(random() % 7);
    int_t lb = 0;
    int_t ub = 0;
    for (int_t k = first; k < first + rows; ++k) {
      if (ordered) {
        ub = std::min(operations, ub + static_cast<int_t>(random() % 3));
        lb = std::min(ub + static_cast<int_t>(random() % 2), lb + static_cast<int_t>(random() % 3));
        lb = std::min(lb, operations);
      } else {
        lb = static_cast<int_t>(random() % (operations + 1));
        ub = static_cast<int_t>(random() % (operations + 1));
      }
      text += std::to_string(k) + ":" + std::to_string(lb) + "," + std::to_string(ub) + "\n";
    }
    return text;
  }

  std::vector<Window> all_windows() {
    std::vector<Window> windows;
    for (const auto& nodes : state.graph) {
      for (const opnode& node : nodes) {
        windows.emplace_back(node.lpw, node.lpw + state.NPROCESSOR);
        windows.emplace_back(node.upw, node.upw + state.NPROCESSOR);
      }
    }
    return windows;
  }
};

TEST_F(WindowShortcut, GivesTheWindowsComputedRangeByRange) {
  std::mt19937 random(3);
  int shortcuts = 0;
  for (int round = 0; round < 1500; ++round) {
    const int_t processors = 1 + static_cast<int_t>(random() % 4);
    const bool ordered = random() % 4 != 0;
    std::vector<std::string> traces;
    std::vector<std::string> logs;
    for (int_t p = 0; p < processors; ++p) {
      const int_t operations = 1 + static_cast<int_t>(random() % 9);
      traces.push_back(stores(operations));
      logs.push_back(random_log(random, operations, ordered));
    }
    if (logs[0].find(':') == std::string::npos) logs[0] += "1:0,0\n";  // some file has a row
    load(traces, SC, logs);
    calculatePendingWindow();
    const std::vector<Window> shortcut = all_windows();
    load(traces, SC, logs);
    pending_windows_range_by_range();
    ASSERT_EQ(shortcut, all_windows()) << round;
    shortcuts += ordered ? 1 : 0;  // ordered logs take the shortcut
  }
  EXPECT_GT(shortcuts, 1000);
}

class ActiveWindows : public TraceFixture {
 protected:
  // Baseline load (every window -3) plus the read-from mapping; each test
  // sets the windows and session fields it needs.
  void build(const std::vector<std::string>& traces) {
    load(traces, ScC);
    construct_mapping();
  }
  void set_upw(int_t p, int_t s, const Window& upw) {
    for (std::size_t t = 0; t < upw.size(); ++t) op(p, s)->upw[t] = upw[t];
  }
  Window upw(int_t p, int_t s) { return Window(op(p, s)->upw, op(p, s)->upw + state.NPROCESSOR); }
};

// Processor 0: a session holding the store (0, 1) and ending with the release
// at 7, then one more store; processor 1 loads the stored value.
const std::vector<std::string> kSessionTrace = {
    "acquire 0\nstore 0 1\nstore 1 1\nstore 1 2\nstore 1 3\nstore 1 4\nstore 1 5\n"
    "release 0\nstore 1 6\n",
    "load 0 1\n"};

TEST_F(ActiveWindows, ReleaseWinsATieWithTheEarliestReader) {
  build(kSessionTrace);
  opnode* store = op(0, 1);
  opnode* load = op(1, 0);
  opnode* release = op(0, 7);
  load->upw[0] = 7;
  release->upw[0] = 9;
  EXPECT_EQ(get_relaxed_operation(store), load);
  release->upw[0] = 7;
  EXPECT_EQ(get_relaxed_operation(store), release);

  load->scanIndex = 3;
  release->scanIndex = 3;
  EXPECT_EQ(get_relaxed_sn_operation(store), release);
  release->scanIndex = 4;
  EXPECT_EQ(get_relaxed_sn_operation(store), load);
}

TEST_F(ActiveWindows, OwnLoadsOutsideSessionsDoNotEndAStore) {
  build({"store 0 1\nload 0 1\n", "load 0 1\n", "load 0 1\n"});
  opnode* store = op(0, 0);
  op(0, 1)->upw[0] = 0;
  op(1, 0)->upw[0] = 2;
  op(2, 0)->upw[0] = 2;
  // Of two equal readers the one listed first stays.
  const ldnode* cell = store->map_ld.fstld;
  while (ld_mapping(cell)->proc_num == 0) cell = cell->nxtld;
  EXPECT_EQ(get_relaxed_operation(store), ld_mapping(cell));
  op(0, 1)->inSync = 1;
  EXPECT_EQ(get_relaxed_operation(store), op(0, 1));
}

TEST_F(ActiveWindows, StoresTakeTheUpperEndsOfWhatEndsThem) {
  build({"acquire 0\nstore 0 1\nstore 0 2\nrelease 0\n", "load 0 1\nstore 1 5\nload 0 0\n"});
  op(0, 1)->inSync = 1;
  op(0, 2)->inSync = 1;
  op(0, 1)->nxt = op(0, 2);
  set_upw(1, 0, {1, 3});
  set_upw(0, 3, {2, 1});
  calculateActivePendingWindow();
  EXPECT_EQ(upw(0, 2), Window({2, 1}));  // its release alone
  EXPECT_EQ(upw(0, 1), Window({1, 1}));  // reader {1, 3} against next store {2, 1}
  EXPECT_EQ(upw(1, 1), Window({4, 3}));  // nothing ends it
  EXPECT_EQ(upw(1, 0), Window({1, 3}));  // loads keep their windows
}

TEST_F(ActiveWindows, SessionStoresGetNonDecreasingScanNumbers) {
  build({"acquire 0\nstore 0 1\nstore 1 1\nstore 2 1\nrelease 0\nstore 3 1\nstore 3 2\n",
         "load 0 1\nload 1 1\nload 2 1\n"});
  for (int_t s = 1; s <= 3; ++s) op(0, s)->inSync = 1;
  const int_t scans[][3] = {{1, 0, 5}, {1, 1, 3}, {1, 2, 6}, {0, 4, 9}, {0, 5, 8}, {0, 6, 1}};
  for (const auto& [p, s, scan] : scans) op(p, s)->scanIndex = scan;
  updateSn();
  std::vector<int_t> numbers;
  for (const opnode& u : state.graph[0]) numbers.push_back(u.scanIndex);
  EXPECT_EQ(numbers, std::vector<int_t>({0, 3, 3, 6, 9, 8, 1}));
}

TEST_F(ActiveWindows, LastScanIsTheLatestFinalAcquire) {
  build({"acquire 0\nrelease 0\nacquire 0\nrelease 0\n", "acquire 0\nrelease 0\n", "store 0 1\n"});
  op(0, 0)->scanIndex = 7;
  op(0, 2)->scanIndex = 2;
  op(1, 0)->scanIndex = 4;
  EXPECT_EQ(calculateSn(), 4);
  state.lockNum = 2;
  EXPECT_EXIT(as_main([&] { calculateSn(); }), ::testing::ExitedWithCode(255),
              "^more than one lock!\n$");
}

}  // namespace
