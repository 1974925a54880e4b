// qirn-gen's manifests as qirn-batch reads them, and qirn-batch's JSON
// reader on any text.
#include "gen/manifest.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/json.h"
#include "gen/generate.h"
#include "gen/options.h"
#include "gen/random.h"
#include "tools/report_text.h"

namespace {

using qirn_batch::Json;
using qirn_batch::parse_json;
using qirn_gen::GenConfig;

// Shapes of every kind: nothing injected, -v, -t, -k and -t with -k, on
// two to five processors with and without locks, under SC, TSO and PSO, with
// and without fences and a one file.
std::vector<GenConfig> configs() {
  std::vector<GenConfig> result;
  for (uint64_t seed = 1; seed <= 40; ++seed) {
    GenConfig c;
    c.seed = seed;
    c.processors = 2 + static_cast<int32_t>(seed % 4);
    c.operations = 4 + static_cast<int32_t>(seed * 7 % 20);
    c.addresses = 2 + static_cast<int32_t>(seed % 3);
    c.locks = static_cast<int32_t>(seed % 3);
    c.scanDistance = 1 + static_cast<int32_t>(seed % 6);
    c.violations = seed % 5 == 1 ? 2 : 0;
    c.timedViolations = seed % 5 == 2 || seed % 5 == 4 ? 2 : 0;
    c.lockViolations = seed % 5 >= 3 ? 1 + static_cast<int32_t>(seed % 2) : 0;
    c.prefix = "runs/s" + std::to_string(seed) + "-";
    c.model = seed % 3 == 0   ? qirn_gen::MemoryModel::SC
              : seed % 3 == 1 ? qirn_gen::MemoryModel::TSO
                              : qirn_gen::MemoryModel::PSO;
    c.fences = seed % 4 == 0 ? 25 : 0;
    c.oneFile = seed % 7 == 0 ? "runs/one-" + std::to_string(seed) : "";
    result.push_back(c);
  }
  return result;
}

// The words of a command that quotes only with single quotes.
std::vector<std::string> shell_words(const std::string& command) {
  std::vector<std::string> words;
  std::istringstream in(command);
  for (std::string word; in >> word;) {
    words.push_back(word.front() == '\'' ? word.substr(1, word.size() - 2) : word);
  }
  return words;
}

GenConfig parsed_command(const std::string& command) {
  std::vector<std::string> words = shell_words(command);
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const qirn_gen::ParsedOptions parsed =
      qirn_gen::parse_options(static_cast<int>(argv.size()), argv.data());
  EXPECT_EQ(parsed.line.action, qirn_tools::Action::Run) << command;
  return parsed.config;
}

// Every manifest is JSON that names its seed, options and injections, holds
// the expected verdict of every model and mode, and a command that gives
// the same run again.
TEST(Manifest, ReadsBackWithItsExpectationsAndACommandThatRegeneratesTheRun) {
  for (const GenConfig& config : configs()) {
    SCOPED_TRACE("seed " + std::to_string(config.seed));
    const qirn_gen::GeneratedRun run = qirn_gen::generate(config);
    const std::string text = qirn_gen::manifest_text(run, config);
    const std::optional<Json> manifest = parse_json(text);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->find("seed")->text, std::to_string(config.seed));
    EXPECT_EQ(*manifest->string_at({"options", "output"}), config.prefix);
    EXPECT_EQ(manifest->find("options")->find("timed-violations")->text,
              std::to_string(config.timedViolations));
    const Json* injected = manifest->find("injected");
    EXPECT_EQ(injected->find("loads")->members.size(),
              run.injected.size() + run.lockViolations.size());
    EXPECT_EQ(injected->find("lock-violations")->text, std::to_string(run.lockViolations.size()));
    const bool asBefore = config.model == qirn_gen::MemoryModel::SC && config.fences == 0;
    EXPECT_EQ(manifest->find("options")->find("model") == nullptr, asBefore);
    for (const std::string model : {"SC", "PC", "RC", "ScC", "TSO", "PSO"}) {
      const bool buffered = model == "TSO" || model == "PSO";
      for (const bool baseline : {false, true}) {
        const std::string* verdict =
            manifest->string_at({"expected", model, baseline ? "baseline" : "optimized"});
        const char* expected = qirn_gen::expected_verdict(run, model, baseline);
        if (asBefore && buffered) {
          EXPECT_EQ(verdict, nullptr) << model;
        } else {
          ASSERT_NE(verdict, nullptr) << model;
          EXPECT_EQ(*verdict, expected) << model;
        }
      }
    }
    const GenConfig again = parsed_command(*manifest->string_at({"command"}));
    EXPECT_EQ(qirn_gen::manifest_text(qirn_gen::generate(again), again), text);
  }
}

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

// A manifest cut short anywhere is refused, and so are nestings deeper than
// the limit, however deep, without exhausting the stack.
TEST(JsonReader, RefusesMalformedTextOfAnyKindWithoutCrashing) {
  GenConfig config;
  config.timedViolations = 2;
  config.lockViolations = 2;
  const std::string manifest = qirn_gen::manifest_text(qirn_gen::generate(config), config);
  ASSERT_TRUE(parse_json(manifest));
  const size_t end = manifest.rfind('}');
  for (size_t cut = 0; cut < end; ++cut) {
    EXPECT_FALSE(parse_json(manifest.substr(0, cut))) << cut;
  }
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
