#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bounds/scans.h"
#include "bounds/windows.h"
#include "support/trace_fixture.h"
#include "trace/text_lines.h"

namespace {

using Window = std::vector<int_t>;

// Random scan logs, most of them with columns that never decrease (the
// shortcut) and some with any bounds: the windows must be those computed
// range by range.
class WindowShortcut : public TraceFixture {
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
    for (const auto& nodes : state->graph) {
      for (const opnode& node : nodes) {
        windows.emplace_back(node.lpw, node.lpw + state->NPROCESSOR);
        windows.emplace_back(node.upw, node.upw + state->NPROCESSOR);
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

// Bound rows as logs write them and as people mistype them: each piece of
// "index:lb,ub" may carry blanks, a sign, leading zeros, ten or more digits,
// a wrong separator, a NUL, or may be cut short.
std::string random_bound_line(std::mt19937& random) {
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const auto number = [&]() {
    std::string text = std::to_string(random() % (pick(3) == 0 ? 4'000'000'000U : 1000U));
    if (pick(8) == 0) text.insert(0, std::string(1 + pick(9), '0'));
    if (pick(10) == 0) text.insert(text.begin(), pick(2) == 0 ? '-' : '+');
    if (pick(10) == 0) text.insert(text.begin(), pick(2) == 0 ? ' ' : '\t');
    return text;
  };
  const auto separator = [&](char wanted) {
    static const char kOthers[] = {' ', ';', '.', '\0', 'x'};
    return pick(12) == 0 ? kOthers[pick(5)] : wanted;
  };
  std::string line = number() + separator(':') + number() + separator(',') + number();
  if (pick(4) == 0) line += pick(2) == 0 ? " trailing" : "7x";
  if (pick(6) == 0) line.resize(static_cast<std::size_t>(pick(static_cast<int>(line.size()) + 1)));
  return pick(10) == 0 ? line : line + "\n";
}

TEST(BoundRows, ReadAsTheGeneralScanReadsThem) {
  std::mt19937 random(11);
  int plain = 0;
  for (int round = 0; round < 20000; ++round) {
    const std::string line = random_bound_line(random);
    int_t fast[3] = {-7, -7, -7};
    int_t general[3] = {-7, -7, -7};
    const ScannedItems read = parse_bound_line(line, fast[0], fast[1], fast[2]);
    const ScannedItems expected = ItemScanner(line)
                                      .number(general[0])
                                      .literal(':')
                                      .number(general[1])
                                      .literal(',')
                                      .number(general[2])
                                      .items();
    ASSERT_EQ(read.count, expected.count) << line;
    ASSERT_EQ(read.out_of_range, expected.out_of_range) << line;
    ASSERT_TRUE(std::equal(fast, fast + 3, general)) << line;
    plain += expected.count == 3 && !expected.out_of_range ? 1 : 0;
  }
  EXPECT_GT(plain, 8000);  // most rows are well formed, as in real logs
}

}  // namespace
