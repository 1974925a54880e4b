// qirn's RC and ScC verdicts, in both modes, against the brute-force
// reference of the README section "What the RC and ScC verdicts mean", on
// random tiny trace sets; and the reference itself, on pinned cases whose
// verdict follows from the definition by hand.
//
// QIRN_LOCK_DIFF_CASES sets the number of trace sets per model and mode
// (default 300; the slow label runs 5,000).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "report/diagnostics.h"
#include "run/driver.h"
#include "support/lock_model_reference.h"
#include "support/lock_trace_sets.h"
#include "support/trace_fixture.h"

namespace {

using lock_reference::bound_text;
using lock_reference::BoundFile;
using lock_reference::files_text;
using lock_reference::in_mode;
using lock_reference::Model;
using lock_reference::parse_set;
using lock_reference::Program;
using lock_reference::random_set;
using lock_reference::trace_text;
using lock_reference::TraceSet;

const char* name(Model model) {
  return model == Model::RC ? "RC" : "ScC";
}

struct Pinned {
  const char* what;
  TraceSet set;
  bool legal;
};

// Cases whose verdict follows from the definition by hand; each holds under
// both models.
TEST(LockModelReference, DecidesPinnedCasesAsTheDefinitionDoes) {
  const std::string session0 = "acquire 0\nrelease 0\n";
  const std::vector<Pinned> cases = {
      {"a later session of a lock reads the older of two sessions' stores",
       parse_set({"acquire 0\nstore 0 1\nrelease 0\nacquire 0\nstore 0 2\nrelease 0\n",
                  "acquire 0\nload 0 2\nrelease 0\nacquire 0\nload 0 1\nrelease 0\n"}),
       false},
      {"a session reads a store that another session overwrote",
       parse_set(
           {"acquire 0\nstore 0 1\nstore 0 2\nrelease 0\n", "acquire 0\nload 0 1\nrelease 0\n"}),
       false},
      {"two sessions of one lock without data", parse_set({session0, session0}), true},
      {"a processor reads two stores of another backwards",
       parse_set({"store 0 1\nstore 0 2\n", "load 0 2\nload 0 1\n"}), false},
      {"message passing without locks",
       parse_set({"store 0 1\nstore 1 1\n", "load 1 1\nload 0 0\n"}), true},
      {"a release that ends no session", parse_set({"release 0\n" + session0, session0}), false},
      {"a processor reads its own later store", parse_set({"load 0 1\nstore 0 1\n"}), false},
      {"sessions of different locks overlap",
       parse_set({"acquire 0\nstore 0 1\nload 1 0\nrelease 0\n",
                  "acquire 1\nstore 1 1\nload 0 0\nrelease 1\n"}),
       true},
      {"two sessions of one processor keep their order",
       parse_set({"acquire 0\nstore 0 1\nrelease 0\nacquire 0\nload 1 0\nrelease 0\n",
                  "acquire 0\nstore 1 1\nload 0 0\nrelease 0\n"}),
       false},
      {"sessions of one lock would have to overlap",
       parse_set({"acquire 0\nstore 0 1\nload 1 0\nrelease 0\n",
                  "acquire 0\nstore 1 1\nload 0 0\nrelease 0\n"}),
       false},
  };
  for (const Pinned& pinned : cases) {
    for (Model model : {Model::RC, Model::ScC}) {
      EXPECT_EQ(lock_reference::legal(pinned.set, model), pinned.legal)
          << name(model) << ": " << pinned.what;
    }
  }
}

int cases_to_run() {
  const char* text = std::getenv("QIRN_LOCK_DIFF_CASES");
  return text != nullptr ? std::atoi(text) : 300;
}

struct Outcome {
  std::string out;
  std::string err;
  int status = 0;
};

enum class Verdict { Legal, Violation, None };

const char* name(Verdict verdict) {
  return verdict == Verdict::Legal ? "legal" : verdict == Verdict::Violation ? "violation" : "none";
}

bool has_line(const std::string& text, const std::function<bool(const std::string&)>& test) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (test(line)) return true;
  }
  return false;
}

Verdict verdict_of(const Outcome& run, Model model) {
  const bool violation = has_line(run.out, [](const std::string& line) {
    return line.ends_with("has violation!") || line == "before add arc!" ||
           line == "no path can be found!";
  });
  const bool stale_read =
      run.status == 255 &&
      run.err.find("Find a write-to consistency violation") != std::string::npos;
  if (violation || stale_read) return Verdict::Violation;
  const std::string legal_line = model == Model::RC ? "no violation!" : "no cycle!";
  const bool legal = has_line(run.out, [&](const std::string& line) { return line == legal_line; });
  return legal && run.status == 0 ? Verdict::Legal : Verdict::None;
}

struct Tally {
  int sets = 0;
  int violations = 0;
  int mismatches = 0;
  double referenceSeconds = 0;
};

class LockModels : public TraceFixture {
 protected:
  static std::vector<std::string> arguments(std::size_t processors, Model model, bool optimized,
                                            const std::string& dir) {
    std::vector<std::string> words = {"qirn", "-p", std::to_string(processors), "-m", name(model)};
    if (!optimized) words.push_back("-b");
    words.insert(words.end(), {"-i", dir + "/"});
    return words;
  }

  Outcome run(const TraceSet& set, Model model, bool optimized) {
    std::vector<std::string> traces;
    std::vector<std::string> bounds;
    for (const Program& program : set.programs) traces.push_back(trace_text(program));
    for (const BoundFile& file : set.bounds) bounds.push_back(bound_text(file));
    write_files("tfres", traces);
    write_files("boundgt", bounds);
    std::vector<std::string> words = arguments(set.programs.size(), model, optimized, scratch_);
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    Outcome outcome;
    ::testing::internal::CaptureStderr();
    outcome.out = printed([&] {
      outcome.status = run_guarded([&] { return run_qirn(int(words.size()), argv.data()); });
    });
    outcome.err = ::testing::internal::GetCapturedStderr();
    return outcome;
  }

  void report(const TraceSet& set, Model model, bool optimized, std::uint32_t seed, bool legal,
              const Outcome& outcome) {
    std::string command;
    for (const std::string& word : arguments(set.programs.size(), model, optimized, "DIR")) {
      command += " " + word;
    }
    ADD_FAILURE() << name(model) << (optimized ? " optimized" : " baseline") << ", set " << seed
                  << ": the reference says " << (legal ? "legal" : "violation") << ", qirn "
                  << name(verdict_of(outcome, model)) << "\n"
                  << files_text(set, optimized) << "--- these files in DIR/," << command << "\n"
                  << outcome.out << "--- standard error, status " << outcome.status << "\n"
                  << outcome.err;
  }

  Tally compare(Model model, bool optimized, int cases) {
    Tally tally;
    for (std::uint32_t seed = 1; seed <= std::uint32_t(cases); ++seed) {
      const TraceSet set = random_set(model, seed, 6);
      const auto start = std::chrono::steady_clock::now();
      const bool legal = lock_reference::legal(in_mode(set, optimized), model);
      tally.referenceSeconds +=
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      const Outcome outcome = run(set, model, optimized);
      ++tally.sets;
      tally.violations += legal ? 0 : 1;
      if (verdict_of(outcome, model) == (legal ? Verdict::Legal : Verdict::Violation)) continue;
      if (++tally.mismatches <= 3) report(set, model, optimized, seed, legal, outcome);
    }
    return tally;
  }
};

TEST_F(LockModels, VerdictsAgreeWithTheReference) {
  const int cases = cases_to_run();
  for (Model model : {Model::RC, Model::ScC}) {
    for (bool optimized : {true, false}) {
      const Tally tally = compare(model, optimized, cases);
      std::printf(
          "%s %s: %d sets, %d violations by the reference (%.0f%%), %d mismatches; "
          "reference %.2f s\n",
          name(model), optimized ? "optimized" : "baseline", tally.sets, tally.violations,
          100.0 * tally.violations / tally.sets, tally.mismatches, tally.referenceSeconds);
      EXPECT_EQ(tally.mismatches, 0) << name(model) << (optimized ? " optimized" : " baseline");
      EXPECT_GE(10 * tally.violations, 3 * tally.sets);
      EXPECT_GE(4 * (tally.sets - tally.violations), tally.sets);
    }
  }
}

}  // namespace
