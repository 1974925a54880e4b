#include "run/cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "qirn.h"

namespace {

// Runs deal_argv on "qirn" followed by the words, from a fresh run state.
int parse(std::vector<std::string> words) {
  reset_run_state();
  words.insert(words.begin(), "qirn");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return deal_argv(static_cast<int>(words.size()), argv.data());
}

std::string parse_printing(const std::vector<std::string>& words, int& result) {
  testing::internal::CaptureStdout();
  result = parse(words);
  return testing::internal::GetCapturedStdout();
}

class CommandLine : public testing::Test {
 protected:
  void TearDown() override { reset_run_state(); }
};

TEST_F(CommandLine, NoOptionsKeepsTheDefaults) {
  EXPECT_EQ(parse({}), 0);
  EXPECT_EQ(state.MC, ScC);
  EXPECT_EQ(state.NPROCESSOR, 16);
  EXPECT_EQ(state.NOPLIST, 625);
  EXPECT_EQ(state.isBase, 0);
  EXPECT_EQ(state.QIRNTFRES, "tfres");
  EXPECT_EQ(state.QIRNBOUND, "boundgt");
  EXPECT_EQ(state.MM_CONF, "mm.xml");
  EXPECT_EQ(state.ofile, "output_result");
  EXPECT_EQ(state.OFILE, nullptr);
}

TEST_F(CommandLine, ShortOptionsSetEverySetting) {
  EXPECT_EQ(parse({"-p", "4", "-n", "9", "-m", "PC", "-b", "-i", "data/", "-c", "x.xml"}), 0);
  EXPECT_EQ(state.NPROCESSOR, 4);
  EXPECT_EQ(state.NOPLIST, 9);
  EXPECT_EQ(state.MC, PC);
  EXPECT_EQ(state.isBase, 1);
  EXPECT_EQ(state.QIRNTFRES, "data/tfres");
  EXPECT_EQ(state.QIRNBOUND, "data/boundgt");
  EXPECT_EQ(state.MM_CONF, "x.xml");
}

TEST_F(CommandLine, AbbreviatedLongOptionsAreAccepted) {
  EXPECT_EQ(parse({"--proc=3", "--num", "7", "--mod", "RC", "--base", "--inp", "in", "--conf=c"}),
            0);
  EXPECT_EQ(state.NPROCESSOR, 3);
  EXPECT_EQ(state.NOPLIST, 7);
  EXPECT_EQ(state.MC, RC);
  EXPECT_EQ(state.isBase, 1);
  EXPECT_EQ(state.QIRNTFRES, "intfres");  // a prefix, not a directory
  EXPECT_EQ(state.QIRNBOUND, "inboundgt");
  EXPECT_EQ(state.MM_CONF, "c");
}

TEST_F(CommandLine, LaterOptionOverridesEarlierOne) {
  EXPECT_EQ(parse({"-m", "SC", "-p", "2", "-i", "a/", "--model=ScC", "-p5", "-i", "b/"}), 0);
  EXPECT_EQ(state.MC, ScC);
  EXPECT_EQ(state.NPROCESSOR, 5);
  EXPECT_EQ(state.QIRNTFRES, "b/tfres");
  EXPECT_EQ(state.QIRNBOUND, "b/boundgt");
}

TEST_F(CommandLine, NumbersConvertLikeTheStandardConversion) {
  EXPECT_EQ(parse({"-p", " +7", "-n", "12abc"}), 0);
  EXPECT_EQ(state.NPROCESSOR, 7);
  EXPECT_EQ(state.NOPLIST, 12);
  EXPECT_EQ(parse({"-n", "none"}), 0);
  EXPECT_EQ(state.NOPLIST, 0);
}

TEST_F(CommandLine, ModelNamesAreComparedExactly) {
  for (const char* name : {"sc", "SCC", "TSO", "RC "}) {
    int result = 0;
    EXPECT_EQ(parse_printing({"-m", name}, result), "not valid memory model!\n") << name;
    EXPECT_EQ(result, 1) << name;
    EXPECT_EQ(state.MC, ScC) << name;
  }
}

TEST_F(CommandLine, ProcessingContinuesAfterHelpOrRejectedModel) {
  int result = 0;
  EXPECT_EQ(parse_printing({"-m", "XX", "-p", "3", "-m", "SC"}, result),
            "not valid memory model!\n");
  EXPECT_EQ(result, 1);  // a later valid model does not undo the rejection
  EXPECT_EQ(state.NPROCESSOR, 3);
  EXPECT_EQ(state.MC, SC);

  const std::string help = parse_printing({"-h", "-b", "--he"}, result);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(state.isBase, 1);
  testing::internal::CaptureStdout();
  print_help();
  const std::string once = testing::internal::GetCapturedStdout();
  EXPECT_EQ(help, once + once);
}

TEST_F(CommandLine, UnknownOptionIsReportedByTheParserAndIgnored) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(parse({"-x", "-p", "2", "--bogus", "-m"}), 0);
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("qirn: invalid option -- 'x'\n"), std::string::npos);
  EXPECT_NE(messages.find("qirn: unrecognized option '--bogus'\n"), std::string::npos);
  EXPECT_NE(messages.find("qirn: option requires an argument -- 'm'\n"), std::string::npos);
  EXPECT_EQ(state.NPROCESSOR, 2);
  EXPECT_EQ(state.MC, ScC);
}

TEST_F(CommandLine, ProcessorCountBelowOneStopsTheRun) {
  for (const char* count : {"0", "-2", "x", ""}) {
    EXPECT_EXIT(parse({"-p", count}), testing::ExitedWithCode(255),
                testing::Eq(std::string("not valid processor number!\n")))
        << count;
  }
}

// The -o cases reopen standard output, so each runs in a child process that
// works in a scratch directory and reports the chosen name on standard error.
class OutputOption : public CommandLine {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/qirn-cli-XXXXXX";
    scratch_ = mkdtemp(pattern);
  }
  void TearDown() override {
    std::filesystem::remove_all(scratch_);
    CommandLine::TearDown();
  }

  void expect_output_file(const std::vector<std::string>& words, const std::string& name) {
    EXPECT_EXIT(
        {
          if (chdir(scratch_.c_str()) != 0) std::exit(2);
          parse(words);
          std::fprintf(stderr, "%s %d", state.ofile.c_str(), state.OFILE == stdout);
          std::exit(0);
        },
        testing::ExitedWithCode(0), testing::Eq(name + " 1"));
    EXPECT_TRUE(std::filesystem::exists(scratch_ + "/" + name)) << name;
  }

  std::string scratch_;
};

TEST_F(OutputOption, FileNameMustBeAttached) {
  expect_output_file({"-o"}, "output_result");
  expect_output_file({"-oout.txt"}, "out.txt");
  expect_output_file({"--output=long.txt"}, "long.txt");
  expect_output_file({"-o", "word.txt"}, "output_result");
  EXPECT_FALSE(std::filesystem::exists(scratch_ + "/word.txt"));
}

TEST_F(OutputOption, UnopenableFileStopsTheRun) {
  EXPECT_EXIT(parse({"-o" + scratch_ + "/missing/out.txt"}), testing::ExitedWithCode(255),
              testing::Eq(std::string("open output file: No such file or directory\n")));
}

}  // namespace
