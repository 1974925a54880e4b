#include "trace/trace_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "qirn.h"
#include "support/trace_fixture.h"
#include "trace/graph.h"

namespace {

testing::Matcher<const std::string&> is_text(const std::string& text) {
  return testing::Eq(text);
}

TEST(TraceLines, ClassifiesCommentsBlanksLocksAndAccesses) {
  const struct {
    const char* line;
    TraceLine kind;
  } cases[] = {
      {"# note\n", TraceLine::Comment},
      {"#store 1 2\n", TraceLine::Comment},
      {"   # note\n", TraceLine::Access},  // "#" only counts in column 1
      {"\n", TraceLine::Blank},
      {"    \n", TraceLine::Blank},
      {"  \t\n", TraceLine::Access},
      {"\r\n", TraceLine::Access},
      {"   ", TraceLine::Access},  // spaces without a newline at the end of a file
      {"acquire 3\n", TraceLine::Acquire},
      {"lock_acquire 3\n", TraceLine::Acquire},
      {"store 4 1 release\n", TraceLine::Release},
      {"release 1 acquire\n", TraceLine::Acquire},  // acquire is looked for first
      {"load 1 2\n", TraceLine::Access},
      {"LOAD 1 2", TraceLine::Access},
  };
  for (const auto& c : cases) EXPECT_EQ(classify_trace_line(c.line), c.kind) << c.line;
}

class TraceReader : public TraceFixture {
 protected:
  void expect_op(int_t p, int_t s, op_type_t kind, int_t addr, int_t val) {
    const opnode* u = op(p, s);
    EXPECT_EQ(u->optype, kind) << p << "," << s;
    EXPECT_EQ(u->addr, addr) << p << "," << s;
    EXPECT_EQ(u->val, val) << p << "," << s;
    EXPECT_EQ(u->proc_num, p);
    EXPECT_EQ(u->seq_num, s);
  }

  // Counts the traces `counted`, rewrites them as `read`, then reads them.
  void count_then_read(const std::vector<std::string>& counted,
                       const std::vector<std::string>& read, int_t removed = -1) {
    state.NPROCESSOR = static_cast<int_t>(counted.size());
    state.isBase = 1;
    state.QIRNTFRES = write_files("tfres", counted);
    get_proc_op_num();
    qirn_init();
    write_files("tfres", read);
    if (removed >= 0) std::filesystem::remove(state.QIRNTFRES + "." + std::to_string(removed));
    read_result();
  }
};

TEST_F(TraceReader, CommentsAndBlankLinesTakeNoSequenceNumbers) {
  load({"# p0\n\nstore 1 5\n   \nacquire 0\n#load 9 9\nload 2 7\nrelease 0", "",
        "lock_acquire 3\nstore 4 1 release\nload 1 acquire\nstore 0 -6 extra\n"});
  EXPECT_EQ(state.procOpNum, (std::vector<int_t>{4, 0, 4}));
  expect_op(0, 0, STORE, 1, 5);
  expect_op(0, 1, SYNC, 0, 0);
  expect_op(0, 2, LOAD, 2, 7);
  expect_op(0, 3, SYNC, 0, 1);  // the last line has no newline
  EXPECT_TRUE(state.graph[1].empty());
  expect_op(2, 0, SYNC, 3, 0);
  expect_op(2, 1, SYNC, 4, 1);
  expect_op(2, 2, SYNC, 1, 0);
  expect_op(2, 3, STORE, 0, -6);
}

TEST_F(TraceReader, LongLinesAreReadWhole) {
  const std::string long_comment = "#" + std::string(600, 'x') + "\n";
  const std::string padded_store = "store" + std::string(300, ' ') + "3 4\n";
  load({long_comment + padded_store + long_comment + "load 3 4\n"});
  EXPECT_EQ(state.procOpNum, (std::vector<int_t>{2}));
  expect_op(0, 0, STORE, 3, 4);
  expect_op(0, 1, LOAD, 3, 4);
}

TEST_F(TraceReader, AddressAndLockCountsComeFromTheLargestNumbers) {
  load({"store 0 1\nacquire 2\nrelease 5\n", "store 7 1\nacquire 0\nload 3 1\nrelease 9\n"});
  EXPECT_EQ(state.addrNum, 8);
  EXPECT_EQ(state.lockNum, 3);  // releases are not looked at
  load({"acquire 4\nrelease 4\n"});
  EXPECT_EQ(state.addrNum, 0);
  EXPECT_EQ(state.lockNum, 5);
  load({"", ""});
  EXPECT_EQ(state.addrNum, 0);
  EXPECT_EQ(state.lockNum, 0);
}

TEST_F(TraceReader, MissingFileStopsBeforeAnyFileIsRead) {
  const std::string missing = "open test result file: No such file or directory\n";
  state.QIRNTFRES = write_files("tfres", {"store 0 1\n", "store 1 1\n", "store 2 1\n"});
  state.NPROCESSOR = 4;
  EXPECT_EXIT(get_proc_op_num(), testing::ExitedWithCode(255), is_text(missing));
  // In the second pass too: the bad line of processor 1 is never reached.
  const std::vector<std::string> counted(4, "store 0 1\n");
  const std::vector<std::string> read = {"store 0 1\n", "bad line\n", "store 0 1\n", ""};
  EXPECT_EXIT(count_then_read(counted, read, 3), testing::ExitedWithCode(255), is_text(missing));
}

TEST_F(TraceReader, MalformedLinesStopTheRun) {
  const struct {
    const char* line;
    const char* message;
  } cases[] = {
      {"   # note\n", "test result file format error\n"},
      {"load 1\n", "test result file format error\n"},
      {"LOAD -1 2\n", "op type format is error\n"},  // the word is checked first
      {"store -1 2\n", "test result file format error\n"},
      {"load -3 0\n", "test result file format error\n"},
      {"release -2\n", "test result file format error\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EXIT(
        {
          testing::internal::CaptureStdout();
          load({std::string("store 0 0\n") + c.line});
        },
        testing::ExitedWithCode(255), is_text(c.message))
        << c.line;
  }
}

TEST_F(TraceReader, NegativeValuesAreAccepted) {
  load({"store 2 -5\nload 2 -5\n"});
  expect_op(0, 0, STORE, 2, -5);
  expect_op(0, 1, LOAD, 2, -5);
}

TEST_F(TraceReader, TraceThatChangedBetweenPassesFailsTheCountCheck) {
  const std::string failure = "QIRN_ISVALID FAILURE IN init.cpp , LINE 416 ! \n\n";
  // The extra lines are never parsed: the check comes before the node is written.
  EXPECT_EXIT(count_then_read({"store 0 1\n", "store 0 2\n"},
                              {"store 0 1\n", "store 0 2\nstore 0 3\nLOAD 0 4\n"}),
              testing::ExitedWithCode(255), is_text(failure));
  EXPECT_EXIT(count_then_read({"store 0 1\nstore 0 2\n"}, {"store 0 1\n"}),
              testing::ExitedWithCode(255), is_text(failure));
}

class GraphInit : public TraceFixture {
 protected:
  void init(std::vector<int_t> counts, int_t is_base, int_t scans) {
    state.NPROCESSOR = static_cast<int_t>(counts.size());
    state.procOpNum = std::move(counts);
    state.isBase = is_base;
    state.NSCAN = scans;
    EXPECT_EQ(qirn_init(), 0);
  }

  static std::vector<int_t> windows(const opnode& u) {
    std::vector<int_t> entries(u.upw, u.upw + state.NPROCESSOR);
    entries.insert(entries.end(), u.lpw, u.lpw + state.NPROCESSOR);
    return entries;
  }
};

TEST_F(GraphInit, NodesStartUnreadWithUncomputedWindows) {
  init({2, 0, 3}, 1, 0);
  ASSERT_EQ(state.graph.size(), 3u);
  EXPECT_TRUE(state.graph[1].empty());
  EXPECT_EQ(state.nodeCount, 5);
  int_t next_id = 0;
  for (int_t p = 0; p < 3; ++p) {
    ASSERT_EQ(state.graph[p].size(), static_cast<std::size_t>(state.procOpNum[p]));
    for (const opnode& u : state.graph[p]) {
      EXPECT_EQ(u.optype, OPEND);
      EXPECT_EQ(u.proc_num, p);
      EXPECT_EQ(u.id, next_id++);
      EXPECT_EQ(windows(u), std::vector<int_t>(6, -3));
    }
    for (int_t s = 0; s < state.procOpNum[p]; ++s) EXPECT_EQ(state.graph[p][s].seq_num, s);
  }
  EXPECT_EQ(state.sentinel.optype, OPEND);
  EXPECT_EQ(state.sentinel.id, 5);
  EXPECT_EQ(windows(state.sentinel), std::vector<int_t>(6, 0));
  EXPECT_TRUE(state.scan.empty());  // baseline mode has no scan table
}

TEST_F(GraphInit, WindowVectorsDoNotOverlap) {
  init({2, 2}, 1, 0);
  std::fill(op(0, 1)->upw, op(0, 1)->upw + 2, 7);
  std::fill(op(0, 1)->lpw, op(0, 1)->lpw + 2, 8);
  EXPECT_EQ(windows(*op(0, 0)), std::vector<int_t>(4, -3));
  EXPECT_EQ(windows(*op(0, 1)), (std::vector<int_t>{7, 7, 8, 8}));
  EXPECT_EQ(windows(*op(1, 0)), std::vector<int_t>(4, -3));
  EXPECT_EQ(windows(*op(1, 1)), std::vector<int_t>(4, -3));
  EXPECT_EQ(windows(state.sentinel), std::vector<int_t>(4, 0));
}

TEST_F(GraphInit, OptimizedModeHasZeroedScanRowsFromZeroToNscan) {
  init({1, 1, 1}, 0, 4);
  ASSERT_EQ(state.scan.size(), 5u);
  for (const region& row : state.scan) {
    EXPECT_EQ(row.lb, std::vector<int_t>(3, 0));
    EXPECT_EQ(row.ub, std::vector<int_t>(3, 0));
  }
}

}  // namespace
