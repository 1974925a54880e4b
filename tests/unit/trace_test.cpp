#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "qirn.h"
#include "support/trace_fixture.h"
#include "trace/graph.h"
#include "trace/read_from.h"
#include "trace/sessions.h"
#include "trace/text_lines.h"
#include "trace/trace_reader.h"

namespace {

testing::Matcher<const std::string&> is_text(const std::string& text) {
  return testing::Eq(text);
}

TEST(TraceLines, OnlySpacesMakeABlankAndAcquireIsLookedForFirst) {
  const struct {
    const char* line;
    TraceLine kind;
  } cases[] = {
      {"   # note\n", TraceLine::Access},  // "#" only counts in column 1
      {"    \n", TraceLine::Blank},
      {"  \t\n", TraceLine::Access},
      {"\r\n", TraceLine::Access},
      {"   ", TraceLine::Access},                   // spaces without a newline at the end of a file
      {"release 1 acquire\n", TraceLine::Acquire},  // acquire is looked for first
  };
  for (const auto& c : cases) EXPECT_EQ(classify_trace_line(c.line), c.kind) << c.line;
}

class TraceReader : public TraceFixture {
 protected:
  // Processor p's operations: kind (L, S or Y for a lock operation),
  // address and value.
  std::string ops(int_t p) {
    std::string text;
    for (const opnode& u : state.graph[p]) {
      text += "LSY?"[u.optype] + std::to_string(u.addr) + "," + std::to_string(u.val) + " ";
    }
    return text;
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
  EXPECT_EQ(ops(0), "S1,5 Y0,0 L2,7 Y0,1 ");  // the last line has no newline
  EXPECT_EQ(ops(2), "Y3,0 Y4,1 Y1,0 S0,-6 ");
}

TEST_F(TraceReader, LongLinesAreReadWhole) {
  const std::string long_comment = "#" + std::string(600, 'x') + "\n";
  const std::string padded_store = "store" + std::string(300, ' ') + "3 4\n";
  load({long_comment + padded_store + long_comment + "load 3 4\n"});
  EXPECT_EQ(ops(0), "S3,4 L3,4 ");
}

// Random bytes: newlines at the given rate per mille, some NUL bytes, the rest
// letters; written to a temporary file read from its start.
std::FILE* random_file(std::mt19937& random, int length, unsigned newline_per_mille,
                       std::string& text) {
  text.clear();
  for (int i = 0; i < length; ++i) {
    const auto pick = random() % 1000;
    text += pick < newline_per_mille ? '\n' : pick < 60 ? '\0' : static_cast<char>('a' + pick % 26);
  }
  std::FILE* file = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), file);
  std::rewind(file);
  return file;
}

// Lines are the bytes up to and including each newline, NUL bytes and lines
// longer than a read block included, and a last line without a newline.
TEST(TraceLines, WholeLinesKeepEveryByte) {
  std::mt19937 random(5);
  for (int round = 0; round < 60; ++round) {
    const int length = static_cast<int>(random() % (round % 3 == 0 ? 300000 : 9000));
    std::string text;
    std::FILE* file = random_file(random, length, round % 2 == 0 ? 30 : 1, text);
    std::string joined;
    std::string line;
    LineReader lines(file);
    while (lines.next(line)) {
      EXPECT_EQ(line.find('\n'), line.back() == '\n' ? line.size() - 1 : std::string::npos);
      joined += line;
    }
    std::fclose(file);
    EXPECT_EQ(joined, text) << "round " << round;
  }
}

// The last line read from the end is the one a read through gives last,
// for files short and long, with or without a final newline.
TEST(TraceLines, LastLineFromTheEndIsTheLastLineReadThrough) {
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const int length = static_cast<int>(random() % (round % 5 == 0 ? 20000 : 12));
    std::string text;
    std::FILE* file = random_file(random, length, round % 3 == 0 ? 1 : 200, text);
    std::string expected;
    std::string line;
    LineReader lines(file);
    while (lines.next(line)) expected = line;
    EXPECT_EQ(last_line(file), expected) << "round " << round;
    std::fclose(file);
  }
}

// A number reads as strtoll would read it in base 10, with values outside
// int32_t clamped and flagged, and the scan goes on after its last digit.
TEST(TraceLines, NumbersReadLikeStrtollAndFlagWhatInt32CannotHold) {
  std::mt19937 random(11);
  const std::string alphabet = "0123456789+- x9";
  for (int round = 0; round < 20000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 16);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    text += random() % 2 == 0 ? "" : std::to_string(static_cast<std::int64_t>(random()) << 2);
    std::int32_t value = 7;
    const ScannedItems items = ItemScanner(text).number(value).literal('x').items();
    const char* start = text.c_str();
    while (*start == ' ') ++start;
    char* end = nullptr;
    errno = 0;
    const long long expected = std::strtoll(start, &end, 10);
    const bool fits = errno == 0 && expected >= INT32_MIN && expected <= INT32_MAX;
    if (end == start) {
      EXPECT_EQ(items.count, *start == '\0' ? -1 : 0) << text;
      EXPECT_EQ(value, 7) << text;
      continue;
    }
    EXPECT_EQ(items.count, 1) << text;
    EXPECT_EQ(items.out_of_range, !fits) << text;
    EXPECT_EQ(value, fits ? expected : expected < 0 ? INT32_MIN : INT32_MAX) << text;
  }
}

TEST_F(TraceReader, AddressAndLockCountsComeFromTheLargestNumbers) {
  load({"store 0 1\nacquire 2\nrelease 5\n", "store 7 1\nacquire 0\nload 3 1\nrelease 9\n"});
  EXPECT_EQ(state.addrNum, 8);
  EXPECT_EQ(state.lockNum, 3);  // releases are not looked at
}

// Both passes check every file first: the bad line of processor 1 is never
// reached.
TEST_F(TraceReader, MissingFileStopsTheSecondPassBeforeAnyFileIsRead) {
  const std::vector<std::string> counted(4, "store 0 1\n");
  const std::vector<std::string> read = {"store 0 1\n", "bad line\n", "store 0 1\n", ""};
  EXPECT_EXIT(as_main([&] { count_then_read(counted, read, 3); }), testing::ExitedWithCode(255),
              is_text("open test result file: No such file or directory\n"));
}

// The word is checked before the numbers; a release names a lock too.
TEST_F(TraceReader, MalformedLinesStopTheRun) {
  EXPECT_EXIT(as_main([&] { load({"store 0 0\nLOAD -1 2\n"}); }), testing::ExitedWithCode(255),
              is_text("op type format is error\n"));
  EXPECT_EXIT(as_main([&] { load({"store 0 0\nrelease -2\n"}); }), testing::ExitedWithCode(255),
              is_text("test result file format error\n"));
}

TEST_F(TraceReader, TraceThatChangedBetweenPassesFailsTheCountCheck) {
  const std::string failure = "QIRN_ISVALID FAILURE IN init.cpp , LINE 416 ! \n\n";
  // The extra lines are never parsed: the check comes before the node is written.
  EXPECT_EXIT(as_main([&] {
                count_then_read({"store 0 1\n", "store 0 2\n"},
                                {"store 0 1\n", "store 0 2\nstore 0 3\nLOAD 0 4\n"});
              }),
              testing::ExitedWithCode(255), is_text(failure));
  EXPECT_EXIT(as_main([&] { count_then_read({"store 0 1\nstore 0 2\n"}, {"store 0 1\n"}); }),
              testing::ExitedWithCode(255), is_text(failure));
}

using ReadFrom = TraceFixture;

std::vector<const opnode*> readers_of(const opnode* store) {
  std::vector<const opnode*> loads;
  for (const ldnode* cell = store->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    loads.push_back(ld_mapping(cell));
  }
  return loads;
}

TEST_F(ReadFrom, FirstReaderHeadsListLaterOnesNewestFirst) {
  load({"load 2 5\nstore 2 5\nload 2 5\nstore 2 6\n", "load 2 5\nload 2 5\nload 1 0\n"});
  construct_mapping();
  opnode* store = op(0, 1);
  EXPECT_EQ(store->map_ld.n_ld, 4);
  EXPECT_EQ(readers_of(store),
            (std::vector<const opnode*>{op(0, 0), op(1, 1), op(1, 0), op(0, 2)}));
  for (const opnode* reader : readers_of(store)) EXPECT_EQ(st_mapping(reader), store);
  EXPECT_EQ(op(0, 3)->map_ld.n_ld, 0);
  EXPECT_EQ(op(0, 3)->map_ld.fstld, nullptr);
}

TEST_F(ReadFrom, LoadMapsToLastMatchingStoreInScanOrder) {
  load({"load 4 9\nstore 1 9\nstore 4 8\nstore 4 9\n", "store 4 9\n"});
  construct_mapping();
  EXPECT_EQ(readers_of(op(0, 3)), (std::vector<const opnode*>{op(0, 0)}));
  EXPECT_EQ(readers_of(op(1, 0)), (std::vector<const opnode*>{op(0, 0)}));
  EXPECT_EQ(op(0, 1)->map_ld.n_ld, 0);
  EXPECT_EQ(op(0, 2)->map_ld.n_ld, 0);
  EXPECT_EQ(op(0, 0)->map_st[0], 1);
  EXPECT_EQ(op(0, 0)->map_st[1], 0);
  EXPECT_EQ(st_mapping(op(0, 0)), op(1, 0));
}

TEST_F(ReadFrom, LoadOfZeroReadsInitialMemory) {
  load({"store 3 0\nload 3 0\n", "load 5 0\n"});
  construct_mapping();
  EXPECT_EQ(readers_of(op(0, 0)), (std::vector<const opnode*>{op(0, 1)}));
  EXPECT_EQ(op(0, 1)->map_st[0], 0);
  EXPECT_EQ(op(0, 1)->map_st[1], 0);
  EXPECT_EQ(st_mapping(op(0, 1)), &state.sentinel);
  EXPECT_EQ(st_mapping(op(1, 0)), &state.sentinel);
}

using Row = std::vector<int_t>;
using Table = std::vector<Row>;

class Sessions : public TraceFixture {
 protected:
  // The session stages in the order a scope-consistency run calls them.
  void build(const std::vector<std::string>& traces) {
    load(traces, ScC);
    init_inSync();
    init_first_write_sync_read();
    update_pre_nxt_node();
    init_sa_sr();
  }

  Row in_sync_marks(int_t p) {
    Row marks;
    for (const opnode& x : state.graph[p]) marks.push_back(x.inSync);
    return marks;
  }
};

// With locks only in-session accesses count as first accesses; without,
// every operation does.
TEST_F(Sessions, FirstAccessesPerProcessorAndAddressOrLock) {
  build({"acquire 0\nstore 1 5\nload 2 0\nrelease 0\nstore 1 6\n",
         "store 1 7\nload 2 0\nacquire 2\nrelease 2\nload 0 0\nacquire 2\nload 0 0\nrelease 2\n",
         "store 2 8\nload 1 0\n"});
  EXPECT_EQ(in_sync_marks(0), (Row{0, 1, 1, 0, 0}));
  EXPECT_EQ(state.firstWrite, (Table{{-1, 1, -1}, {-1, -1, -1}, {-1, -1, -1}}));
  EXPECT_EQ(state.firstRead, (Table{{-1, -1, 2}, {6, -1, -1}, {-1, -1, -1}}));
  // Locks 0 and 2 are acquired: two columns.
  EXPECT_EQ(state.firstSync, (Table{{0, -1}, {-1, 2}, {-1, -1}}));

  reset_run_state();
  build({"store 1 5\nload 2 0\nstore 1 6\n", "load 0 0\n"});
  EXPECT_EQ(state.firstWrite, (Table{{-1, 0, -1}, {-1, -1, -1}}));
  EXPECT_EQ(state.firstRead, (Table{{-1, -1, 1}, {0, -1, -1}}));
  EXPECT_TRUE(state.firstSync.empty());
}

TEST_F(Sessions, ChainsLinkOneKindOneAddressOrOneLockWithinAProcessor) {
  build(
      {"acquire 0\nload 3 0\nstore 3 1\nstore 4 1\nload 3 0\nstore 3 2\nrelease 0\n"
       "store 3 3\nacquire 0\nstore 3 4\nrelease 0\nacquire 1\nrelease 1\nacquire 0\nrelease 0\n",
       "acquire 0\nstore 3 5\nrelease 0\n"});
  const auto links = [this](int_t s) { return std::make_pair(op(0, s)->pre, op(0, s)->nxt); };
  using Links = std::pair<opnode*, opnode*>;
  EXPECT_EQ(links(5), (Links{op(0, 2), op(0, 9)}));
  EXPECT_EQ(links(9), (Links{op(0, 5), nullptr}));
  EXPECT_EQ(links(4), (Links{op(0, 1), nullptr}));
  EXPECT_EQ(links(8), (Links{op(0, 0), op(0, 13)}));
  for (int_t alone : {3, 6, 7, 11}) EXPECT_EQ(links(alone), (Links{nullptr, nullptr})) << alone;
  EXPECT_EQ(op(1, 1)->pre, nullptr);
  for (opnode& x : state.graph[0]) {
    if (x.inSync == 1 || is_acquire(&x)) {
      EXPECT_EQ(find_previous_node(&x), x.pre) << x.seq_num;
    }
  }
}

// A processor that ends inside a session leaves nothing open for the next one.
TEST_F(Sessions, OpenSessionEndsWithItsProcessor) {
  build({"acquire 0\nstore 1 1\n", "store 1 2\nrelease 0\nacquire 0\nstore 1 3\nrelease 0\n"});
  EXPECT_EQ(in_sync_marks(1), (Row{0, 0, 0, 1, 0}));
  EXPECT_EQ(state.firstWrite[1][0], 3);  // address 1 is the only one: column 0
  EXPECT_EQ(op(1, 3)->pre, nullptr);
  EXPECT_EQ(op(1, 1)->mapAcquire, nullptr);
  EXPECT_EQ(op(0, 0)->mapRelease, nullptr);
  EXPECT_EQ(op(1, 4)->mapAcquire, op(1, 2));
  EXPECT_EQ(op(1, 2)->mapRelease, op(1, 4));
}

TEST_F(Sessions, QueriesLookToTheNearestLockOperation) {
  build(
      {"store 0 1\nacquire 0\nstore 0 2\nrelease 0\nstore 0 3\nacquire 1\nrelease 1\nload 0 0\n"});
  for (const opnode& x : state.graph[0]) {
    if (x.optype != SYNC) {
      EXPECT_EQ(is_in_sync(&x), x.inSync) << x.seq_num;
    }
  }
  EXPECT_EQ(is_in_sync(op(0, 3)), 1);
  EXPECT_EQ(is_in_sync(op(0, 5)), 0);
  EXPECT_EQ(acquireOfCurSync(op(0, 3)), op(0, 1));
  EXPECT_EQ(acquireOfCurSync(op(0, 4)), op(0, 1));
  EXPECT_EQ(acquireOfCurSync(op(0, 7)), op(0, 5));
  EXPECT_EQ(findReleaseForScC(op(0, 0), 1), op(0, 6));
}

}  // namespace
