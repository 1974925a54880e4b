#include "bounds/scans.h"

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

using BoundFiles = TraceFixture;

TEST(BoundLines, ParsedWithTheirWhitespaceRules) {
  EXPECT_EQ(parse_scan_count("  6:41,50"), 6);
  EXPECT_EQ(parse_scan_count("7:"), 7);
  EXPECT_EQ(parse_scan_count("# 9:1,2\n"), 0);
  int_t index = 0, lb = 0, ub = 0;
  EXPECT_EQ(parse_bound_line("1: 5, 9 and words\r\n", index, lb, ub), 3);
  EXPECT_EQ(std::vector<int_t>({index, lb, ub}), std::vector<int_t>({1, 5, 9}));
  for (const char* line : {"1 :5,9\n", "1:5 ,9\n", "\t\n", "  # note\n", " \r\n"}) {
    EXPECT_LT(parse_bound_line(line, index, lb, ub), 3) << line;
  }
}

TEST_F(BoundFiles, ScanCountsComeFromEachFilesLastLine) {
  state.NPROCESSOR = 3;
  state.QIRNBOUND = write_files("boundgt", {"3:2,3\n4:30,33\n", "6:41,50", "1:0,1\n# done\n"});
  calculate_scan();
  EXPECT_EQ(state.numOfScan, std::vector<int_t>({4, 6, 0}));
  EXPECT_EQ(state.NSCAN, 6);
}

TEST_F(BoundFiles, RowsStartAtTheFirstIndexAndSkipCommentsAndBlanks) {
  load({stores(12)}, SC, {"# header\n2:5,9\n\n   \n3:6,10\n"});
  EXPECT_EQ(state.scan[1].lb[0], 0);
  EXPECT_EQ(state.scan[2].ub[0], 9);
  EXPECT_EQ(state.scan[3].lb[0], 6);
}

TEST_F(BoundFiles, MalformedOrOutOfRangeRowsStopTheRun) {
  for (const char* bound :
       {"1:5 ,9\n", "\t\n1:1,2\n", "1:1,2\n \r\n2:2,3\n", "1:1,7\n", "1:-1,2\n"}) {
    EXPECT_EXIT(load({stores(6)}, SC, {bound}), ::testing::ExitedWithCode(255),
                "^bound file format error\n$")
        << bound;
  }
}

TEST_F(BoundFiles, ScanIndicesMustStartAtOneToEightAndRunOn) {
  load({stores(12)}, SC, {"8:1,2\n9:2,3\n"});
  EXPECT_EQ(state.scan[9].lb[0], 2);
  for (const char* bound : {"9:1,2\n", "0:1,2\n1:2,3\n", "1:1,2\n3:2,3\n"}) {
    EXPECT_EXIT(load({stores(12)}, SC, {bound}), ::testing::ExitedWithCode(255),
                "^QIRN_ISVALID FAILURE IN init\\.cpp , LINE 306 ! \n\n$")
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

}  // namespace
