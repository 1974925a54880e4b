// qirn-batch as a pipeline runs it: the built executable on folders of
// trace sets that qirn-gen's simulator writes; its reports on any names; and
// how it reads one qirn run: the verdict and the line that qirn's JSON object
// names, and what it falls back on when no whole object arrives.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/json.h"
#include "batch/junit.h"
#include "batch/report.h"
#include "batch/verdict.h"
#include "gen/random.h"
#include "support/tool_runs.h"

namespace {

namespace fs = std::filesystem;
using qirn_batch::Ending;
using qirn_batch::ErrorText;
using qirn_batch::Json;
using qirn_batch::Outcome;
using qirn_batch::Verdict;

// The member of a JSON object, failing the test when it is missing.
const Json& member(const Json& object, const char* key) {
  static const Json kMissing;
  const Json* value = object.find(key);
  EXPECT_NE(value, nullptr) << key;
  return value != nullptr ? *value : kMissing;
}

qirn_gen::GenConfig shape(int processors, uint64_t seed, int violations = 0, int operations = 10) {
  qirn_gen::GenConfig config;
  config.processors = processors;
  config.operations = operations;
  config.seed = seed;
  config.violations = violations;
  return config;
}

struct BatchResult {
  int status = -1;
  std::vector<std::string> lines;  // each set's line without its seconds
  std::vector<double> seconds;
  std::string summary;
  std::string err;
  std::vector<Json> json;
};

// The process ids written to a file, one or more per line.
std::vector<std::string> pids_in(const fs::path& file) {
  std::istringstream in(read_file(file));
  std::vector<std::string> pids;
  for (std::string pid; in >> pid;) pids.push_back(pid);
  return pids;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class BatchRun : public ToolScratch {
 protected:
  // Runs qirn-batch in the scratch folder with the JSON file out.json and
  // standard output to stdoutTo.
  BatchResult batch(const std::string& args, const std::string& stdoutTo = "out.txt") {
    const std::string command = "cd '" + root_.string() +
                                "' && '" QIRN_BATCH_EXE "' --json out.json " + args + " >" +
                                stdoutTo + " 2>err.txt";
    const int status = std::system(command.c_str());
    BatchResult result;
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = read_file(root_ / "err.txt");
    std::istringstream out(read_file(root_ / "out.txt"));
    for (std::string line; std::getline(out, line);) {
      const size_t lastTab = line.rfind('\t');
      if (lastTab == std::string::npos) {
        result.summary = line;
        continue;
      }
      result.lines.push_back(line.substr(0, lastTab));
      result.seconds.push_back(std::stod(line.substr(lastTab + 1)));
    }
    std::istringstream json(read_file(root_ / "out.json"));
    for (std::string line; std::getline(json, line);) {
      const auto object = qirn_batch::parse_json(line);
      EXPECT_TRUE(object && object->kind == Json::Kind::Object) << line;
      if (object) result.json.push_back(*object);
    }
    return result;
  }
};

// Every set's line, JSON object and the summary, with a set that is valid,
// one that violates SC, one with a malformed trace and one that cannot
// finish within the limit (its qirn is held up far beyond it).
TEST_F(BatchRun, MixedSetsGiveTheirVerdictsJsonObjectsAndStatusTwo) {
  generate("sets/valid", shape(3, 1));
  generate("sets/violating", shape(4, 2, 2));
  write("sets/bad/tfres.0", "store 0 1\nlod 0 1\n");
  generate("sets/big", shape(16, 3, 0, 625));
  fake_qirn("qirn", "*/big", "exec sleep 30");
  const BatchResult r = batch("-m SC -b --timeout 2 --qirn ./qirn sets");
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> expected = {
      "sets/bad\terror\top type format is error",
      "sets/big\ttimeout\tno verdict within the limit of 2 s",
      "sets/valid\tpass\tno cycle!",
      "sets/violating\tviolation\tfind cycle",
  };
  EXPECT_EQ(r.lines, expected);
  EXPECT_TRUE(r.summary.starts_with("4 sets: 1 pass, 1 violation, 1 error, 1 timeout, "))
      << r.summary;
  ASSERT_EQ(r.json.size(), 4u);
  const std::vector<std::string> processors = {"1", "16", "3", "4"};
  const std::vector<std::string> statuses = {"255", "null", "0", "0"};
  for (size_t i = 0; i < 4; ++i) {
    const Json& object = r.json[i];
    EXPECT_EQ(member(object, "path").text + '\t' + member(object, "verdict").text + '\t' +
                  member(object, "detail").text,
              expected[i]);
    EXPECT_EQ(member(object, "model").text, "SC");
    EXPECT_EQ(member(object, "mode").text, "baseline");
    EXPECT_EQ(member(object, "processors").text, processors[i]);
    EXPECT_EQ(member(object, "status").text, statuses[i]);
    EXPECT_NEAR(std::stod(member(object, "seconds").text), r.seconds[i], 0.0011);
  }
  EXPECT_EQ(member(r.json[1], "status").kind, Json::Kind::Null);
  EXPECT_GE(r.seconds[1], 2.0);
}

// Children that outlive their output, or leave processes holding it, cost
// no more than the limit, and nothing they started is left running; once qirn
// ends, what it left behind is not waited for, even without a limit. A run
// killed after writing its object is an error all the same.
TEST_F(BatchRun, ChildrenAndWhatTheyStartEndAtTheLimitOrWithQirn) {
  generate("sets/one", shape(2, 4));
  std::string pids = (root_ / "pids").string();
  pids = '\'' + pids + '\'';
  const struct {
    std::string action, timeout, line;
  } cases[] = {
      {"echo $$ >>" + pids + "; exec >&- 2>&-; sleep 8", "0.5",
       "sets/one\ttimeout\tno verdict within the limit of 0.5 s"},
      {"sleep 8 & echo $$ $! >>" + pids + "; sleep 30", "0.5",
       "sets/one\ttimeout\tno verdict within the limit of 0.5 s"},
      {"sleep 30 & echo $! >>" + pids, "0", "sets/one\tpass\tno cycle!"},
      {"echo $$ >>" + pids +
           "; echo '{\"verdict\": \"pass\", \"line\": \"no cycle!\"}' >&3; kill -9 $$",
       "0", "sets/one\terror\tkilled by signal 9 (Killed)"},
  };
  for (const auto& c : cases) {
    fs::remove(root_ / "pids");
    fake_qirn("qirn", "*", c.action);
    const auto start = std::chrono::steady_clock::now();
    const BatchResult r = batch("-m SC --qirn ./qirn --timeout " + c.timeout + " sets");
    EXPECT_LT(seconds_since(start), 3.0) << c.action;
    EXPECT_EQ(r.lines, std::vector<std::string>{c.line}) << r.err;
    ASSERT_FALSE(pids_in(root_ / "pids").empty()) << c.action;
    for (const std::string& pid : pids_in(root_ / "pids"))
      EXPECT_TRUE(ends_soon(std::stol(pid))) << c.action;
  }
}

// SIGINT and SIGTERM end the running children's groups, then qirn-batch
// itself as interrupted by that signal.
TEST_F(BatchRun, InterruptEndsTheRunningChildrenAndTheBatch) {
  generate("sets/a", shape(2, 5));
  generate("sets/b", shape(2, 6));
  const std::string qirn = fake_qirn(
      "qirn", "*", "sleep 30 & echo $$ $! >>'" + (root_ / "pids").string() + "'; sleep 30");
  const std::string sets = (root_ / "sets").string();
  for (const int signal : {SIGINT, SIGTERM}) {
    fs::remove(root_ / "pids");
    const int status = interrupted(
        {QIRN_BATCH_EXE, "-j", "2", "--qirn", qirn, sets},
        [&] { return pids_in(root_ / "pids").size() >= 4; }, signal);
    ASSERT_EQ(pids_in(root_ / "pids").size(), 4u);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
    for (const std::string& pid : pids_in(root_ / "pids"))
      EXPECT_TRUE(ends_soon(std::stol(pid))) << pid;
  }
}

std::string from_hex(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

// A JUnit file's test cases as python3's xml.etree reads them, one per line:
// name, classname, the failure or error tag (or "-"), its message and text;
// or the error python3 met.
std::vector<std::string> junit_cases(const fs::path& file) {
  const std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "root = E.parse(sys.argv[1]).getroot()\n"
      "suite = root.find('testsuite')\n"
      "assert root.tag == 'testsuites' and suite.get('name') == 'qirn-batch'\n"
      "cases = suite.findall('testcase')\n"
      "assert int(suite.get('tests')) == len(cases)\n"
      "for case in cases:\n"
      "    bad = list(case)\n"
      "    tag, message, text = (bad[0].tag, bad[0].get('message'), bad[0].text) if bad else "
      "'---'\n"
      "    print('\\t'.join(v.encode().hex() for v in (case.get('name'), case.get('classname'),\n"
      "          tag, message, text)))\n";
  const CommandRun python =
      run_command("python3 -c \"" + script + "\" '" + file.string() + "' 2>&1");
  std::vector<std::string> cases;
  std::istringstream lines(python.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string joined;
    for (std::string field; fields >> field;) {
      if (!joined.empty()) joined += '|';
      joined += from_hex(field);
    }
    cases.push_back(joined);
  }
  return cases;
}

// With --expect every verdict is held against its set's manifest: the
// summary counts the sets that miss theirs, the JSON objects name what was
// expected, and the JUnit file fails those sets with both verdicts and the
// commands that reproduce and regenerate them. The status is 2 for a set
// that cannot be verified. (Status 0 once every set meets its expectation is
// what the scripts in tests/gen rely on.)
TEST_F(BatchRun, ExpectHoldsVerdictsToManifestsAndJunitListsEverySet) {
  const std::string odd = "sets/odd &<\"'\x01\xff";
  qirn_gen::GenConfig timed = shape(3, 5, 0, 8);
  timed.timedViolations = 2;
  generate("sets/clean", shape(3, 1, 0, 8));
  generate("sets/timed", timed);
  generate(odd, shape(3, 3, 2, 8));
  generate("sets/liar", shape(3, 6, 0, 8));
  write(
      "sets/liar/manifest.json",
      R"({"expected": {"SC": {"optimized": "violation"}}, "command": "qirn-gen -s 6 -o 'it''s'"})");
  generate("sets/missing", shape(3, 7, 0, 8));
  fs::remove(root_ / "sets/missing/manifest.json");
  generate("sets/cut", shape(3, 8, 0, 8));
  fs::resize_file(root_ / "sets/cut/manifest.json", 100);
  const BatchResult r = batch("-m SC --expect --junit out.xml sets");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_TRUE(
      r.summary.starts_with("6 sets: 4 pass, 2 violation, 0 error, 0 timeout, 3 unexpected, "))
      << r.summary;
  const std::vector<std::string> expected = {"pass", "null", "violation",
                                             "null", "any",  "violation"};
  ASSERT_EQ(r.json.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Json& value = member(r.json[i], "expected");
    EXPECT_EQ(value.kind == Json::Kind::Null ? "null" : value.text, expected[i]) << i;
  }
  const std::string fffd = "\xef\xbf\xbd";
  const std::string reproduce = "reproduce: cd 'sets/";
  const std::vector<std::string> cases = {
      "sets/clean|SC.optimized|-|-|-",
      "sets/cut|SC.optimized|failure|manifest.json is malformed: not JSON; got pass: no cycle!|" +
          reproduce + "cut' && qirn -p 3 -m SC",
      "sets/liar|SC.optimized|failure|expected violation, got pass: no cycle!|" + reproduce +
          "liar' && qirn -p 3 -m SC\nregenerate: qirn-gen -s 6 -o 'it''s'",
      "sets/missing|SC.optimized|failure|manifest.json is missing; got pass: no cycle!|" +
          reproduce + "missing' && qirn -p 3 -m SC",
      "sets/odd &<\"'" + fffd + fffd + "|SC.optimized|-|-|-",
      "sets/timed|SC.optimized|-|-|-"};
  EXPECT_EQ(junit_cases(root_ / "out.xml"), cases);
  for (const char* dir : {"sets/cut", "sets/liar", "sets/missing"}) fs::remove_all(root_ / dir);
  write("sets/bad/tfres.0", "lod 0 1\n");
  write("sets/bad/manifest.json", R"({"expected": {"SC": {"baseline": "any"}}})");
  EXPECT_EQ(batch("-m SC -b --expect --junit out.xml sets").status, 2);
  EXPECT_EQ(junit_cases(root_ / "out.xml")[0],
            "sets/bad|SC.baseline|error|expected any, got error: op type format is error|" +
                reproduce + "bad' && qirn -p 1 -m SC -b");
}

// Results that cannot be written are reported and give status 2; the
// lines still come out when only a file fails.
TEST_F(BatchRun, FailedWritesOfTheResultsGiveStatusTwo) {
  generate("sets/one", shape(2, 7));
  const struct {
    std::string args, stdoutTo, err;
    size_t lines;
  } cases[] = {
      {"sets", "/dev/full", "cannot write standard output: No space left on device", 0},
      {"--json /dev/full sets", "out.txt", "cannot write /dev/full: No space left on device", 1},
      {"--junit /dev/full sets", "out.txt", "cannot write /dev/full: No space left on device", 1},
      {"--junit no/such/folder.xml sets", "out.txt",
       "cannot write no/such/folder.xml: No such file or directory", 0},
  };
  for (const auto& c : cases) {
    fs::remove(root_ / "out.txt");
    const BatchResult r = batch("-m SC " + c.args, c.stdoutTo);
    EXPECT_EQ(r.status, 2) << c.args;
    EXPECT_EQ(r.err, "qirn-batch: " + c.err + "\n");
    EXPECT_EQ(r.lines.size(), c.lines) << c.args;
  }
}

std::string unescaped(const std::string& field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\') {
      text += field[i];
      continue;
    }
    const char c = field[++i];
    text += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
  }
  return text;
}

// Any bytes in set names and qirn's messages: a set's line keeps its four
// fields and gives both back, its JSON object gives the name back (from
// path_hex when it is not UTF-8), and the JUnit file parses, with every name
// that XML can hold kept as it is.
TEST(BatchReport, AnyNameComesBackFromLineAndJsonAndGivesJunitThatParses) {
  std::vector<std::string> pieces = {"\xc3\xa9", "\xef\xbf\xbe", "\xed\xa0\x80", "]]>", "\xe2\x82"};
  for (const char byte : std::string("at\\&<>\"'\t\n\r\x01\x7f\xff")) pieces.emplace_back(1, byte);
  const qirn_batch::RunSettings settings{"qirn", "RC", true, 1, 0, {}};
  qirn_batch::JunitReport report(settings);
  qirn_gen::SplitMix64 rng(3);
  std::vector<std::string> names;
  for (int i = 0; i < 300; ++i) {
    std::string name = "n";
    for (int k = rng.below(8); k > 0; --k)
      name += pieces[rng.below(static_cast<int32_t>(pieces.size()))];
    const Outcome outcome{static_cast<Verdict>(rng.below(4)), name, 0, 0.5};
    const std::string line = qirn_batch::result_line({name, 2}, outcome);
    std::vector<std::string> fields;
    std::istringstream in(line.substr(0, line.size() - 1));
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    ASSERT_EQ(fields.size(), 4u) << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(unescaped(fields[0]), name);
    EXPECT_EQ(unescaped(fields[2]), name);
    const auto object =
        qirn_batch::parse_json(qirn_batch::json_object({name, 2}, settings, outcome));
    ASSERT_TRUE(object) << name;
    const bool utf8 = member(*object, "path").text.find("\xef\xbf\xbd") == std::string::npos;
    EXPECT_EQ(utf8 ? member(*object, "path").text : from_hex(member(*object, "path_hex").text),
              name);
    EXPECT_EQ(object->find("path_hex") != nullptr, !utf8);
    report.add({name, 2}, outcome, nullptr, name);
    names.push_back(name);
  }
  const fs::path file = fs::path(::testing::TempDir()) / "names.xml";
  std::ofstream(file) << report.text(1.0);
  const std::vector<std::string> cases = junit_cases(file);
  ASSERT_EQ(cases.size(), names.size()) << (cases.empty() ? "" : cases[0]);
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string parsed = cases[i].substr(0, cases[i].find("|RC.baseline|"));
    if (names[i].find_first_of("\x01\xff\xe2\xed\xef") == std::string::npos) {
      EXPECT_EQ(parsed, names[i]);
    }
  }
}

// An object cut short anywhere is no object, so the run is told by the way
// it ended; the whole one gives its fields, escapes decoded.
TEST(BatchVerdict, OnlyAWholeObjectIsRead) {
  const std::string object =
      "{\"model\": \"RC\", \"verdict\": \"error\", \"line\": null, \"status\": 2, \"choices\": 0,"
      " \"witness\": {\"kind\": \"core\", \"nodes\": [{\"text\": \"(G[0][0]:S[0]#1)\"}],"
      " \"arcs\": [], \"flag\": true}, \"error\": {\"message\": \"bad \\\"x\\\"\\u0009\\\\\\n"
      "in line\", \"file\": null, \"line\": 3}}\n";
  const auto whole = qirn_batch::read_qirn_report(object);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->verdict, "error");
  EXPECT_EQ(whole->line, "");
  EXPECT_EQ(whole->error, "bad \"x\"\t\\\nin line");
  ErrorText err;
  err.add("bad\nqirn: in tfres.0, line 3\n");
  const Ending exited{Ending::Kind::Exited, 255};
  EXPECT_EQ(classify(whole, err, exited, 0).detail, "in line");
  for (size_t cut = 0; cut + 1 < object.size(); ++cut) {
    const auto part = qirn_batch::read_qirn_report(std::string_view(object).substr(0, cut));
    EXPECT_FALSE(part) << cut;
    EXPECT_EQ(classify(part, err, exited, 0).detail, "qirn: in tfres.0, line 3") << cut;
  }
  EXPECT_EQ(classify(std::nullopt, ErrorText(), Ending{}, 0).detail, "no verdict in qirn's output");
  EXPECT_FALSE(qirn_batch::read_qirn_report(object + "{}"));
  EXPECT_FALSE(qirn_batch::read_qirn_report(std::string(20, '[') + std::string(20, ']')));
}

}  // namespace
