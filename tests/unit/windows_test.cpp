#include "bounds/windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/trace_fixture.h"

namespace {

std::string stores(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "store 0 " + std::to_string(i + 1) + "\n";
  return text;
}

using Window = std::vector<int_t>;

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

}  // namespace
