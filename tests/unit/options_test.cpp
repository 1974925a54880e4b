// The command-line parser of the companion tools: every kind of value,
// aliases, the wording of every error, help and version, repeated calls; and
// the options every tool names alike.
#include "batch/options.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "gen/options.h"
#include "shrink/options.h"
#include "tools/options.h"

namespace {

using namespace qirn_tools;

struct Fields {
  int count = 5;
  uint64_t big = 0;
  double limit = 1;
  double above = 1;
  std::string model = "ScC";
  std::string format = "dot";
  std::string text = "t";
  std::string file = "f";
  bool flag = false;
  int processors = 0;

  std::string shown() const {
    return std::to_string(count) + " " + std::to_string(big) + " " + std::to_string(limit) + " " +
           std::to_string(above) + " " + model + " " + format + " [" + text + "] " + file + " " +
           (flag ? "flag " : "") + std::to_string(processors);
  }
};

// The arguments after the program name, as a writable argv.
struct Argv {
  explicit Argv(std::vector<std::string> args) : words(std::move(args)) {
    words.insert(words.begin(), "tool");
    for (std::string& word : words) pointers.push_back(word.data());
  }
  Argv(const Argv&) = delete;
  int argc() const { return static_cast<int>(words.size()); }
  std::vector<std::string> words;
  std::vector<char*> pointers;
};

struct Parsed {
  CommandLine line;
  std::string fields;  // as shown, when the command line was not wrong
};

Parsed parse_with_table(std::vector<std::string> args, std::vector<std::string>* operands) {
  Fields f;
  const std::vector<Option> table = {
      {'c', {"count"}, whole(f.count, 1, 9)},
      {'\0', {"big"}, whole(f.big, uint64_t{0})},
      {'l', {"limit"}, seconds(f.limit, 0.5, 10, true)},
      {'\0', {"above"}, seconds(f.above, 0, 100, false)},
      {'m', {"model"}, model(f.model)},
      {'\0', {"format"}, one_of(f.format, {"dot", "svg"})},
      {'t', {"text"}, text(f.text)},
      {'\0', {"file"}, file_name(f.file)},
      {'f', {"flag"}, flag(f.flag)},
      {'n', {"number"}, ignored()},
      {'p', {"processors", "processor"}, whole(f.processors, 1)},
  };
  Argv argv(std::move(args));
  Parsed parsed{parse(argv.argc(), argv.pointers.data(), table, operands), ""};
  if (parsed.line.action != Action::Fail) parsed.fields = f.shown();
  return parsed;
}

const std::string kDefaults = Fields().shown();

std::string with(void (*change)(Fields&)) {
  Fields f;
  change(f);
  return f.shown();
}

struct Case {
  std::vector<std::string> args;
  Action action;
  std::string expected;  // the error when Fail, else the fields as shown
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      {{}, Action::Run, kDefaults},
      {{"-c", "3"}, Action::Run, with([](Fields& f) { f.count = 3; })},
      {{"--big", "18446744073709551615"}, Action::Run, with([](Fields& f) {
         f.big = 18446744073709551615u;
       })},
      {{"--limit=1e1"}, Action::Run, with([](Fields& f) { f.limit = 10; })},
      {{"-m", "PC"}, Action::Run, with([](Fields& f) { f.model = "PC"; })},
      {{"--format=svg"}, Action::Run, with([](Fields& f) { f.format = "svg"; })},
      {{"--file", "-c"}, Action::Run, with([](Fields& f) { f.file = "-c"; })},
      {{"-fc2"}, Action::Run, with([](Fields& f) {
         f.flag = true;
         f.count = 2;
       })},
      {{"--processor", "3"}, Action::Run, with([](Fields& f) { f.processors = 3; })},
      {{"--proc=4"}, Action::Run, with([](Fields& f) { f.processors = 4; })},
      {{"-c", "0"},
       Action::Fail,
       "invalid value for --count: '0' (expected a whole number from 1 to 9)"},
      {{"--processor", "0"},
       Action::Fail,
       "invalid value for --processors: '0' (expected a whole number from 1)"},
      {{"-l", "0.4"},
       Action::Fail,
       "invalid value for --limit: '0.4' (expected 0 for no limit, or seconds from 0.5 to 10)"},
      {{"--above", "0"},
       Action::Fail,
       "invalid value for --above: '0' (expected seconds above 0 and at most 100)"},
      {{"-m", "sc"},
       Action::Fail,
       "invalid value for --model: 'sc' (expected SC, PC, RC, ScC, TSO, PSO or WMO)"},
      {{"--format", "png"},
       Action::Fail,
       "invalid value for --format: 'png' (expected dot or svg)"},
      {{"--file="}, Action::Fail, "invalid value for --file: '' (expected a file name)"},
      {{"-x"}, Action::Fail, "unknown option -x"},
      {{"-fxc"}, Action::Fail, "unknown option -x"},
      {{"--f"}, Action::Fail, "unknown option --f"},  // flag, file or format
      {{"-fc"}, Action::Fail, "missing value for -c"},
      {{"--count"}, Action::Fail, "missing value for --count"},
      {{"word"}, Action::Fail, "unexpected argument 'word'"},
      {{"--help", "-c", "3"}, Action::Help, with([](Fields& f) { f.count = 3; })},
      {{"-h", "-c", "0"},
       Action::Fail,
       "invalid value for --count: '0' (expected a whole number from 1 to 9)"},
      {{"-x", "--version"}, Action::Version, kDefaults},
      {{"--", "--version"}, Action::Fail, "unexpected argument '--version'"},
  };
  return all;
}

// Every case twice over, one after the other in a single process, so that
// a call left inside a group of letters or after an error (-fxc) misleads
// none of the calls after it.
TEST(ToolOptions, EveryKindAliasErrorHelpAndVersionAgainAndAgain) {
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases()) {
      const Parsed parsed = parse_with_table(c.args, nullptr);
      const std::string shown = ::testing::PrintToString(c.args);
      EXPECT_EQ(parsed.line.action, c.action) << shown;
      EXPECT_EQ(parsed.line.action == Action::Fail ? parsed.line.error : parsed.fields, c.expected)
          << shown;
    }
  }
}

// Words left after the options are the operands of a tool that takes them,
// in their order, wherever they stand.
TEST(ToolOptions, OperandsKeepTheirOrderAroundOptions) {
  std::vector<std::string> operands;
  const Parsed parsed = parse_with_table({"a", "-f", "b", "--", "-c", "0"}, &operands);
  EXPECT_EQ(parsed.line.action, Action::Run);
  EXPECT_EQ(parsed.fields, with([](Fields& f) { f.flag = true; }));
  EXPECT_EQ(operands, (std::vector<std::string>{"a", "b", "-c", "0"}));
}

std::vector<std::string> joined(std::vector<std::string> words,
                                const std::vector<std::string>& more) {
  words.insert(words.end(), more.begin(), more.end());
  return words;
}

// -p/--processors (qirn's --processor too) and -m/--model mean the same in
// every tool that takes them.
TEST(ToolOptions, EveryToolNamesProcessorsAndModelAlike) {
  using Words = std::vector<std::string>;
  for (const auto& [processors, model] :
       std::vector<std::pair<Words, Words>>{{{"-p", "3"}, {"-m", "PC"}},
                                            {{"--processors", "3"}, {"--model=PC"}},
                                            {{"--processor=3"}, {"--mod", "PC"}}}) {
    const std::string shown = ::testing::PrintToString(joined(processors, model));
    Argv gen(processors);
    Argv batch(joined(joined(processors, model), {"sets"}));
    Argv shrink(joined(joined(processors, model), {"-o", "out"}));
    const auto g = qirn_gen::parse_options(gen.argc(), gen.pointers.data());
    const auto b = qirn_batch::parse_options(batch.argc(), batch.pointers.data());
    const auto s = qirn_shrink::parse_options(shrink.argc(), shrink.pointers.data());
    EXPECT_EQ(g.line.error + b.line.error + s.line.error, "") << shown;
    EXPECT_EQ(g.config.processors, 3) << shown;
    EXPECT_EQ(b.options.processors, 3) << shown;
    EXPECT_EQ(s.options.processors, 3) << shown;
    EXPECT_EQ(b.options.model + s.options.model, "PCPC") << shown;
  }
}

// qirn-batch --shard K/N takes K from 1 to N.
TEST(ToolOptions, BatchShardIsKOfNWithKFromOneToN) {
  for (const char* value :
       {"2/5", "0/5", "6/5", "1/0", "5", "/5", "1/", "1/2/3", "a/b", "-1/2", " 1/2"}) {
    Argv argv({"--shard", value, "runs"});
    const auto parsed = qirn_batch::parse_options(argv.argc(), argv.pointers.data());
    const bool right = std::string(value) == "2/5";
    EXPECT_EQ(parsed.line.action, right ? Action::Run : Action::Fail) << value;
    if (!right) continue;
    EXPECT_EQ(std::pair(parsed.options.shardIndex, parsed.options.shardCount), std::pair(2, 5));
  }
}

}  // namespace
