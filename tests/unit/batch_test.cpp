// qirn-batch's parts: verdicts from qirn's output, JSON text, the exit
// status, options and the search for trace sets.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "batch/options.h"
#include "batch/report.h"
#include "batch/sets.h"
#include "batch/verdict.h"
#include "support/json_line.h"

namespace {

namespace fs = std::filesystem;
using qirn_batch::Ending;
using qirn_batch::Outcome;
using qirn_batch::Verdict;

const std::string kLongCycle = [] {
  std::string cycle = "(G[0][0]:S[0]#1)";
  for (int i = 1; i < 400; ++i) cycle += "<-P-(G[0][" + std::to_string(i) + "]:S[0]#1)";
  return cycle;
}();

Outcome classify_text(const std::string& out, const std::string& err, Ending ending) {
  qirn_batch::OutputScan scan;
  scan.add(out);
  scan.finish();
  qirn_batch::ErrorText errors;
  errors.add(err);
  return qirn_batch::classify(scan, errors, ending, 2.5);
}

struct Transcript {
  const char* what;
  std::string out;
  std::string err;
  Ending ending;
  Verdict verdict;
  std::string detail;
};

const Ending kExit0{Ending::Kind::Exited, 0};
const Ending kExit255{Ending::Kind::Exited, 255};
const std::string kHead = "The memory model to be verified is ScC\nthe number of processors is 2\n";

// The endings of every model's runs, as qirn prints them.
const std::vector<Transcript> kTranscripts = {
    {"SC pass", "no cycle!\nCount of choosing edge: 0\n", "", kExit0, Verdict::Pass, "no cycle!"},
    {"PC cycle",
     "Find a consistency violation:\n" + kLongCycle + "\nfind cycle\nCount of choosing edge: 0\n",
     "", kExit0, Verdict::Violation, "find cycle"},
    {"RC pass", "no violation!\nTime used = 0.00\n", "", kExit0, Verdict::Pass, "no violation!"},
    {"RC no chain", kLongCycle + "\nhas violation!\nTime used = 0.01\n", "", kExit0,
     Verdict::Violation, "has violation!"},
    {"RC no chain, no cycle met", "\nhas violation!\nTime used = 0.01\n", "", kExit0,
     Verdict::Violation, "has violation!"},
    {"RC cycle first", "Find a consistency violation:\n" + kLongCycle + "\nbefore add arc!\n", "",
     kExit0, Verdict::Violation, "before add arc!"},
    {"RC without locks", "Time used = 0.00\n", "", kExit0, Verdict::Error,
     "no verdict in qirn's output"},
    {"ScC pass", kHead + "ScC\noptimized algorithm begin ...\nno cycle!\nTime used = 0.00\n", "",
     kExit0, Verdict::Pass, "no cycle!"},
    {"ScC no order", "ScC\nw1[2][7],r[0][6]\nno path can be found!\nTime used = 0.00\n", "", kExit0,
     Verdict::Violation, "no path can be found!"},
    {"ScC cycle, search completes",
     "Find a consistency violation:\n(G[0][0]:S[0]#1)<-I-(G[0][0]:S[0]#1)\nbefore add go "
     "arc!\nbaseline algorithm begin !...\nno cycle!\nTime used = 0.00\n",
     "", kExit0, Verdict::Violation, "before add go arc!"},
    {"ScC cycle, search fails",
     "Find a consistency violation:\n(x)\nbefore add go arc!\nno path can be found!\n", "", kExit0,
     Verdict::Violation, "no path can be found!"},
    {"last line without newline", "no cycle!", "", kExit0, Verdict::Pass, "no cycle!"},
    {"write-to violation", "(G[1][0]:S[0]#1)<-T-(G[0][2]:L[0]=1)<-Co-(G[1][0]:S[0]#1)\n",
     "Find a write-to consistency violation\n", kExit255, Verdict::Violation,
     "Find a write-to consistency violation"},
    {"bad input", "release,0,3\n", "the RC program has errors!\n", kExit255, Verdict::Error,
     "the RC program has errors!"},
    {"failed check", "", "QIRN_ISVALID FAILURE IN init.cpp , LINE 306 ! \n\n", kExit255,
     Verdict::Error, "QIRN_ISVALID FAILURE IN init.cpp , LINE 306 !"},
    {"verdict, then a stop", "no cycle!\n", "more than one lock!\n", kExit255, Verdict::Error,
     "more than one lock!"},
    {"silent status",
     "",
     "",
     {Ending::Kind::Exited, 3},
     Verdict::Error,
     "qirn exited with status 3"},
    {"signal",
     "",
     "",
     {Ending::Kind::Signaled, SIGSEGV},
     Verdict::Error,
     "killed by signal 11 (Segmentation fault)"},
    {"signal with a message",
     "",
     "out of memory\n",
     {Ending::Kind::Signaled, SIGABRT},
     Verdict::Error,
     "killed by signal 6 (Aborted): out of memory"},
    {"time limit",
     "no cycle!\n",
     "",
     {Ending::Kind::TimedOut, SIGKILL},
     Verdict::Timeout,
     "no verdict within the limit of 2.5 s"},
};

TEST(BatchVerdict, EveryModelsVerdictLinesAndEndings) {
  for (const Transcript& t : kTranscripts) {
    const Outcome outcome = classify_text(t.out, t.err, t.ending);
    EXPECT_EQ(outcome.verdict, t.verdict) << t.what;
    EXPECT_EQ(outcome.detail, t.detail) << t.what;
    EXPECT_EQ(outcome.status, t.ending.kind == Ending::Kind::Exited ? t.ending.code : -1) << t.what;
  }
}

// The pipe delivers output in pieces of any size; the verdict must not
// depend on where they break.
TEST(BatchVerdict, SameVerdictHoweverTheOutputIsSplit) {
  std::mt19937 random(15);
  for (const Transcript& t : kTranscripts) {
    for (int round = 0; round < 50; ++round) {
      qirn_batch::OutputScan scan;
      qirn_batch::ErrorText errors;
      for (size_t at = 0; at < t.out.size();) {
        const size_t piece = std::uniform_int_distribution<size_t>(1, 80)(random);
        scan.add(std::string_view(t.out).substr(at, piece));
        at += piece;
      }
      scan.finish();
      errors.add(t.err);
      const Outcome outcome = qirn_batch::classify(scan, errors, t.ending, 2.5);
      ASSERT_EQ(outcome.detail, t.detail) << t.what << ", round " << round;
    }
  }
}

std::string random_text(std::mt19937& random, bool utf8Only) {
  static const std::vector<std::string> kPieces = {
      "a", " ", "\"", "\\", "\n", "\t", "\x01", "\x1f", "\x7f", "/", "é", "€", "𝄞", "\xed\x9f\xbf"};
  std::string text;
  const int length = std::uniform_int_distribution<int>(0, 20)(random);
  for (int i = 0; i < length; ++i) {
    if (!utf8Only && random() % 4 == 0) {
      text += static_cast<char>(random() % 256);
    } else {
      text += kPieces[random() % kPieces.size()];
    }
  }
  return text;
}

// Text that is UTF-8 comes back unchanged from the JSON reader; any other
// bytes still give a string that reads as JSON, without raw control bytes.
TEST(BatchJson, StringsReadBackAsWrittenAndStayValidForAnyBytes) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    const bool utf8Only = round % 2 == 0;
    const std::string text = random_text(random, utf8Only);
    const std::string json = qirn_batch::json_string(text);
    std::string_view rest = json;
    const auto back = read_json_string(rest);
    ASSERT_TRUE(back && rest.empty()) << json;
    if (utf8Only) {
      ASSERT_EQ(*back, text);
    }
    for (const char c : json) ASSERT_GE(static_cast<unsigned char>(c), 0x20) << json;
  }
  EXPECT_EQ(qirn_batch::json_string("a\xff\xc0\x80z"), "\"a\\ufffd\\ufffd\\ufffdz\"");
  EXPECT_EQ(qirn_batch::json_string("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
}

qirn_batch::ParsedOptions parse(std::vector<std::string> words) {
  words.insert(words.begin(), "qirn-batch");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return qirn_batch::parse_options(static_cast<int>(words.size()), argv.data());
}

TEST(BatchOptions, ReadsEveryOptionAndRejectsBadValues) {
  const auto parsed = parse({"-m", "RC", "-b", "-j3", "--timeout=0.5", "--json", "o.json", "-p",
                             "2", "--qirn", "/x/qirn", "a", "b"});
  ASSERT_EQ(parsed.action, qirn_batch::ParsedOptions::Action::Run) << parsed.error;
  const qirn_batch::BatchOptions& o = parsed.options;
  EXPECT_EQ(o.model, "RC");
  EXPECT_TRUE(o.baseline);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_EQ(o.timeout, 0.5);
  EXPECT_EQ(o.jsonFile, "o.json");
  EXPECT_EQ(o.processors, 2);
  EXPECT_EQ(o.qirn, "/x/qirn");
  EXPECT_EQ(o.paths, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(parse({"x"}).options.model, "ScC");
  for (const auto& bad : std::vector<std::vector<std::string>>{{"-m", "sc", "x"},
                                                               {"-j", "0", "x"},
                                                               {"--timeout", "-1", "x"},
                                                               {"--timeout", "inf", "x"},
                                                               {"-p", "2x", "x"},
                                                               {"-q", "x"},
                                                               {"-j"},
                                                               {}}) {
    EXPECT_EQ(parse(bad).action, qirn_batch::ParsedOptions::Action::Fail) << bad.size();
  }
}

class BatchSets : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("batch_sets_" + std::to_string(getpid()));
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void touch(const std::string& relative) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << "store 0 1\n";
  }
  std::vector<std::string> found(const std::vector<std::string>& paths, int processors = 0) {
    const qirn_batch::FoundSets result = qirn_batch::find_sets(paths, processors);
    EXPECT_EQ(result.error, "");
    std::vector<std::string> listed;
    for (const auto& set : result.sets) {
      listed.push_back(fs::path(set.path).lexically_relative(root_).string() + ":" +
                       std::to_string(set.processors));
    }
    return listed;
  }
  std::string r(const std::string& relative) { return (root_ / relative).string(); }

  fs::path root_;
};

TEST_F(BatchSets, FoldersBeforeTheirChildrenInByteOrderCountingFilesUpToTheFirstGap) {
  for (const char* file : {"tfres.0", "tfres.1", "B/tfres.0", "a/tfres.0", "a/tfres.1", "a/tfres.3",
                           "a/x/y/tfres.0", "a10/tfres.0", "a9/tfres.0", "notes/tfres.1"}) {
    touch(file);
  }
  fs::create_symlink(root_ / "a", root_ / "link");
  EXPECT_EQ(found({r("")}),
            (std::vector<std::string>{".:2", "B:1", "a:2", "a/x/y:1", "a10:1", "a9:1"}));
  EXPECT_EQ(found({r("a9"), r("a"), r("a9/")}, 5),
            (std::vector<std::string>{"a9:5", "a:5", "a/x/y:5"}));
  EXPECT_EQ(found({r("link")}), (std::vector<std::string>{"link:2", "link/x/y:1"}));
}

TEST_F(BatchSets, PathThatIsMissingNotAFolderOrWithoutASetIsAnError) {
  touch("file");
  touch("empty/notes/tfres.1");
  for (const std::string& path : {r("missing"), r("file"), r("empty")}) {
    EXPECT_NE(qirn_batch::find_sets({path}, 0).error.find(path + ": "), std::string::npos);
  }
}

}  // namespace
