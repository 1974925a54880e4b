// qirn-batch's JSON reader on deep nesting and on any text.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "batch/json.h"
#include "gen/random.h"
#include "tools/report_text.h"

namespace {

using qirn_batch::Json;
using qirn_batch::parse_json;

// Escapes decode to UTF-8: characters beyond U+FFFF from their surrogate
// pairs, a lone surrogate as U+FFFD; what json_string writes reads back as
// the text, bytes that are not UTF-8 as U+FFFD.
TEST(JsonReader, StringsDecodeToUtf8) {
  EXPECT_EQ(parse_json(R"("\ud83d\ude00\u00e9\ud800x\uDC00\/")")->text,
            "\xf0\x9f\x98\x80\xc3\xa9\xef\xbf\xbdx\xef\xbf\xbd/");
  const std::string text = "a\"\\\b\f\n\r\t\x01\x1f\x7f\xc3\xa9\xff\xe2\x82";
  EXPECT_EQ(parse_json(qirn_tools::json_string(text))->text,
            "a\"\\\b\f\n\r\t\x01\x1f\x7f\xc3\xa9\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
}

// Nestings deeper than the limit are refused, however deep, without
// exhausting the stack.
TEST(JsonReader, RefusesNestingBeyondTheLimitWithoutCrashing) {
  const std::string deep = std::string(qirn_batch::kMaxJsonDepth + 1, '[') +
                           std::string(qirn_batch::kMaxJsonDepth + 1, ']');
  EXPECT_TRUE(parse_json(deep.substr(1, deep.size() - 2)));
  EXPECT_FALSE(parse_json(deep));
  EXPECT_FALSE(parse_json(std::string(1'000'000, '[')));
  EXPECT_FALSE(parse_json(std::string(1'000'000, '{')));
}

const std::vector<std::string> kScalars = {
    "0", "-12.5e+3", "1E9", "true", "false", "null", "\"a\\u00e9\\n\\\"\"", "\"\xc3\xa9\""};
// Near misses and pieces of JSON, put in at random.
const std::vector<std::string> kNoise = {"{",   "}",    "[",  "]",    ":",   ",", "\"",
                                         "\\",  "\\u1", "-",  "01",   ".5",  "e", "tru",
                                         "nul", " ",    "\t", "\x01", "\xff"};

template <typename T>
const T& any_of(const std::vector<T>& items, qirn_gen::SplitMix64& rng) {
  return items[rng.below(static_cast<uint64_t>(items.size()))];
}

// A random JSON value, spaced at random, arrays and objects up to depth 3.
std::string random_value(qirn_gen::SplitMix64& rng, int depth) {
  const int32_t kind = rng.below(depth >= 3 ? 1 : 3);
  if (kind == 0) return any_of(kScalars, rng);
  std::string text = kind == 1 ? "[" : "{";
  for (int32_t i = 0, count = rng.below(4); i < count; ++i) {
    if (i > 0) text += ',';
    if (rng.below(2) != 0) text += ' ';
    if (kind == 2) text.append("\"k").append(std::to_string(i)).append("\" :");
    text += random_value(rng, depth + 1);
  }
  return text + (kind == 1 ? "]" : "}");
}

// On random JSON values, half of them with a byte taken out or a near miss
// put in, the reader accepts exactly what Python's json module accepts.
TEST(JsonReader, AcceptsWhatPythonsJsonModuleAccepts) {
  if (std::system("python3 -c '' 2>/dev/null") != 0) GTEST_SKIP() << "no python3";
  qirn_gen::SplitMix64 rng(11);
  std::vector<std::string> texts;
  for (int round = 0; round < 20000; ++round) {
    std::string text = random_value(rng, 0);
    const size_t at = rng.below(static_cast<uint64_t>(text.size()));
    if (rng.below(2) == 0) {
      rng.below(2) == 0 ? text.erase(at, 1) : text.insert(at, any_of(kNoise, rng));
    }
    texts.push_back(text);
  }
  const std::string file = ::testing::TempDir() + "json_texts";
  std::ofstream out(file);
  for (const std::string& text : texts) out << qirn_tools::json_string(text) << '\n';
  out.close();
  const std::string script =
      "import json,sys\n"
      "for line in open(sys.argv[1], encoding='utf-8'):\n"
      "    try: json.loads(json.loads(line)); print(1)\n"
      "    except ValueError: print(0)\n";
  FILE* python = popen(("python3 -c \"" + script + "\" " + file).c_str(), "r");
  ASSERT_NE(python, nullptr);
  char answer[8];
  for (const std::string& text : texts) {
    ASSERT_NE(std::fgets(answer, sizeof answer, python), nullptr);
    EXPECT_EQ(parse_json(text).has_value(), answer[0] == '1') << qirn_tools::json_string(text);
  }
  pclose(python);
}

}  // namespace
