// qirn-gen's violation injector, file errors and options.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gen/files.h"
#include "gen/generate.h"
#include "gen/options.h"

namespace {

using qirn_gen::GenConfig;
using qirn_gen::GeneratedRun;
using qirn_gen::GenOp;
using qirn_gen::OpKind;

// Injection comes after the run, so the same seed without violations gives
// the faithful run: exactly the injected loads differ, each now returning 0
// or a value that a store to its address had written before it.
TEST(GenInjection, ChosenLoadsReturnAnOlderValueOfTheirAddress) {
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    GenConfig config;
    config.seed = seed;
    config.addresses = 2;
    const GeneratedRun faithful = qirn_gen::generate(config);
    config.violations = 3;
    const GeneratedRun injected = qirn_gen::generate(config);
    size_t changed = 0;
    for (size_t p = 0; p < faithful.programs.size(); ++p) {
      for (size_t s = 0; s < faithful.programs[p].size(); ++s) {
        const GenOp& load = injected.programs[p][s];
        if (load.value == faithful.programs[p][s].value) continue;
        ++changed;
        ASSERT_EQ(load.kind, OpKind::Load);
        bool older = load.value == 0;
        for (const auto& program : faithful.programs) {
          for (const GenOp& op : program) {
            older |= op.kind == OpKind::Store && op.target == load.target &&
                     op.value == load.value && op.effect < load.effect;
          }
        }
        EXPECT_TRUE(older) << "seed " << seed << ": value " << load.value;
      }
    }
    EXPECT_EQ(changed, 3u) << "seed " << seed;
    EXPECT_EQ(injected.injected.size(), 3u) << "seed " << seed;
  }
}

TEST(GenFiles, UnwritablePrefixNamesTheFile) {
  GenConfig config;
  config.prefix = "/nonexistent-qirn-gen-dir/";
  try {
    qirn_gen::write_run(qirn_gen::generate(config), config);
    FAIL() << "no error for a missing directory";
  } catch (const qirn_gen::WriteError& error) {
    EXPECT_STREQ(error.what(),
                 "cannot write /nonexistent-qirn-gen-dir/tfres.0: No such file or directory");
  }
}

qirn_gen::ParsedOptions parse(std::vector<std::string> words) {
  words.insert(words.begin(), "qirn-gen");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return qirn_gen::parse_options(static_cast<int>(words.size()), argv.data());
}

TEST(GenOptions, LongAndShortFormsAndTheirLimits) {
  const auto parsed = parse(
      {"-p", "3", "--operations=7", "-a2", "--seed", "18446744073709551615", "--output", "out/"});
  ASSERT_EQ(parsed.action, qirn_gen::ParsedOptions::Action::Run) << parsed.error;
  EXPECT_EQ(parsed.config.processors, 3);
  EXPECT_EQ(parsed.config.operations, 7);
  EXPECT_EQ(parsed.config.addresses, 2);
  EXPECT_EQ(parsed.config.seed, 18446744073709551615u);
  EXPECT_EQ(parsed.config.prefix, "out/");
  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"-p", "0"}, "invalid value for --processors: '0' (expected 1 to 100000)"},
      {{"--lock-share", "101"}, "invalid value for --lock-share: '101' (expected 0 to 100)"},
      {{"-n", "12x"}, "invalid value for --operations: '12x' (expected 1 to 10000000)"},
      {{"--seed", "-1"}, "invalid value for --seed: '-1'"},
      {{"--seed"}, "missing value for --seed"},
      {{"--colour"}, "unknown option --colour"},
      {{"stray"}, "unexpected argument 'stray'"},
      {{"-p", "1000", "-n", "1000000"}, "processors times operations may be at most 10000000"},
  };
  for (const auto& [words, message] : refused) {
    const auto result = parse(words);
    EXPECT_EQ(result.action, qirn_gen::ParsedOptions::Action::Fail) << message;
    EXPECT_EQ(result.error, message);
  }
}

}  // namespace
