// qirn-batch as a pipeline runs it: the built executable on folders of
// trace sets that qirn-gen's simulator writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gen/files.h"
#include "gen/generate.h"
#include "support/json_line.h"

namespace {

namespace fs = std::filesystem;
using JsonObject = std::map<std::string, JsonValue>;

struct BatchResult {
  int status = -1;
  std::vector<std::string> lines;  // each set's line without its seconds
  std::vector<double> seconds;
  std::string summary;
  std::string err;
  std::vector<JsonObject> json;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class BatchRun : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("batch_run_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  void generate(const std::string& dir, int processors, uint64_t seed, int violations = 0,
                int operations = 10) {
    fs::create_directories(root_ / dir);
    qirn_gen::GenConfig config;
    config.processors = processors;
    config.operations = operations;
    config.seed = seed;
    config.violations = violations;
    config.prefix = (root_ / dir).string() + "/";
    qirn_gen::write_run(qirn_gen::generate(config), config);
  }

  void write(const std::string& relative, const std::string& text) {
    fs::create_directories((root_ / relative).parent_path());
    std::ofstream(root_ / relative) << text;
  }

  // Writes ./qirn, which does what action says in the folders that match
  // pattern, and runs the real qirn.
  void wrap_qirn(const std::string& pattern, const std::string& action) {
    write("qirn", "#!/bin/sh\ncase \"$PWD\" in " + pattern + ") " + action +
                      ";; esac\nexec '" QIRN_EXE "' \"$@\"\n");
    fs::permissions(root_ / "qirn", fs::perms::owner_all);
  }

  // Runs qirn-batch in the scratch folder with the JSON file out.json.
  BatchResult batch(const std::string& args) {
    const std::string command = "cd '" + root_.string() +
                                "' && '" QIRN_BATCH_EXE "' --json out.json " + args +
                                " >out.txt 2>err.txt";
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
      const auto object = read_json_object(line);
      EXPECT_TRUE(object) << line;
      if (object) result.json.push_back(*object);
    }
    return result;
  }

  fs::path root_;
};

// Every set's line, JSON object and the summary, with a set that is valid,
// one that violates SC, one with a malformed trace and one that cannot
// finish within the limit (its qirn is held up far beyond it).
TEST_F(BatchRun, MixedSetsGiveTheirVerdictsJsonObjectsAndStatusTwo) {
  generate("sets/valid", 3, 1);
  generate("sets/violating", 4, 2, 2);
  write("sets/bad/tfres.0", "store 0 1\nlod 0 1\n");
  generate("sets/big", 16, 3, 0, 625);
  wrap_qirn("*/big", "exec sleep 30");
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
  const std::vector<std::string> statuses = {"255", "", "0", "0"};
  for (size_t i = 0; i < 4; ++i) {
    const JsonObject& object = r.json[i];
    EXPECT_EQ(
        object.at("path").text + '\t' + object.at("verdict").text + '\t' + object.at("detail").text,
        expected[i]);
    EXPECT_EQ(object.at("model").text, "SC");
    EXPECT_EQ(object.at("mode").text, "baseline");
    EXPECT_EQ(object.at("processors").text, processors[i]);
    EXPECT_EQ(object.at("status").text, statuses[i]);
    EXPECT_NEAR(std::stod(object.at("seconds").text), r.seconds[i], 0.0011);
  }
  EXPECT_EQ(r.json[1].at("status").kind, JsonValue::Kind::Null);
  EXPECT_GE(r.seconds[1], 2.0);
}

}  // namespace
