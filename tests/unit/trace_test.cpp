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
// longer than a read block included, and a last line without a newline; the
// last line read from the end is the one the read through gives last.
TEST(TraceLines, WholeLinesKeepEveryByteAndTheLastIsFoundFromTheEnd) {
  std::mt19937 random(5);
  for (int round = 0; round < 300; ++round) {
    const int longest = round % 15 == 0  ? 300000
                        : round % 5 == 0 ? 20000
                        : round % 2 == 0 ? 9000
                                         : 12;
    const int length = static_cast<int>(random() % longest);
    std::string text;
    std::FILE* file = random_file(random, length, round % 3 == 0 ? 1 : 30 + round % 3 * 85, text);
    std::string joined;
    std::string line;
    std::string last;
    LineReader lines(file);
    while (lines.next(line)) {
      EXPECT_EQ(line.find('\n'), line.back() == '\n' ? line.size() - 1 : std::string::npos);
      joined += line;
      last = line;
    }
    EXPECT_EQ(joined, text) << "round " << round;
    EXPECT_EQ(last_line(file), last) << "round " << round;
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

using ReadFrom = TraceFixture;

std::vector<const opnode*> readers_of(const opnode* store) {
  std::vector<const opnode*> loads;
  for (const ldnode* cell = store->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    loads.push_back(ld_mapping(cell));
  }
  return loads;
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

}  // namespace
