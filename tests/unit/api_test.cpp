// The library entry: a check prints what the command line prints for the same
// inputs, from files or from memory, and checks in several threads at once
// give what they give one after another.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "api/check.h"
#include "gen/files.h"
#include "gen/generate.h"
#include "support/trace_fixture.h"

namespace {

qirn::Options on_files(const std::string& model, bool baseline, const std::string& prefix) {
  qirn::Options options;
  options.model = model;
  options.baseline = baseline;
  options.prefix = prefix;
  return options;
}

struct Request {
  qirn::Options options;
  std::vector<std::string> words;  // the same check on the command line
};

class LibraryCheck : public TraceFixture {
 protected:
  // Every model and mode over a few generated runs, some with violations and
  // locks, with the options and the command line that ask for each.
  std::vector<Request> requests() {
    std::vector<Request> all;
    for (std::uint64_t seed = 1; seed <= 6; ++seed) {
      qirn_gen::GenConfig config;
      config.seed = seed;
      config.processors = 3;
      config.operations = 8;
      config.locks = seed % 3 == 0 ? 0 : 1;
      config.violations = seed % 2;
      config.prefix = scratch_ + "/" + std::to_string(seed) + "-";
      const qirn_gen::GeneratedRun run = qirn_gen::generate(config);
      qirn_gen::write_run(run, config);
      for (const char* model : {"SC", "PC", "RC", "ScC", "TSO"}) {
        for (const bool baseline : {false, true}) {
          Request request;
          request.options = on_files(model, baseline, config.prefix);
          request.words = {"-p", "3", "-m", model, "-i", config.prefix};
          if (baseline) request.words.push_back("-b");
          all.push_back(request);
        }
      }
      if (config.locks != 0) continue;  // one file holds no lock operations
      const std::string text = qirn_gen::one_file_text(run);
      const std::string path = write_files(std::to_string(seed) + "-run", {text}) + ".0";
      Request in_memory;
      in_memory.options = on_files("SC", true, "");
      in_memory.options.traceFile = path;
      in_memory.options.traceText = text;
      in_memory.options.traceInMemory = true;
      in_memory.words = {"-m", "SC", "-b", "--trace", path};
      all.push_back(in_memory);
    }
    all.push_back({on_files("XC", false, scratch_ + "/1-"), {"-m", "XC", "-i", scratch_ + "/1-"}});
    all.push_back(
        {on_files("SC", false, scratch_ + "/none-"), {"-m", "SC", "-i", scratch_ + "/none-"}});
    return all;
  }
};

// As `whole_run` shows a command-line run.
std::string shown(const qirn::Result& result) {
  const std::string text =
      result.output + result.errors + "status " + std::to_string(result.status) + "\n";
  return std::regex_replace(text, std::regex("Time used = [0-9.]+"), "Time used");
}

TEST_F(LibraryCheck, PrintsWhatTheCommandLinePrints) {
  for (const Request& request : requests()) {
    const qirn::Result result = qirn::check(request.options);
    const std::string expected = whole_run(request.words);
    EXPECT_EQ(shown(result), expected) << request.words[3];
    const bool cycle = expected.find("<-") != std::string::npos;
    EXPECT_EQ(!result.witness.empty(), cycle && result.verdict == qirn::Verdict::Violation);
    for (const std::string& operation : result.witness) {
      EXPECT_NE(result.output.find(operation), std::string::npos) << operation;
    }
  }
}

TEST_F(LibraryCheck, ChecksInThreadsGiveWhatTheyGiveOneAfterAnother) {
  const std::vector<Request> all = requests();
  std::vector<std::string> sequential;
  for (const Request& request : all) sequential.push_back(shown(qirn::check(request.options)));
  std::vector<std::string> threaded(all.size());
  std::vector<std::thread> threads;
  const std::size_t count = 4;
  for (std::size_t t = 0; t < count; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t i = t; i < all.size(); i += count)
        threaded[i] = shown(qirn::check(all[i].options));
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(threaded, sequential);
}

}  // namespace
