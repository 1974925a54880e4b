#include "shrink/shrinker.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>

#include "batch/runner.h"
#include "shrink/interrupt.h"
#include "shrink/reducer.h"
#include "shrink/trace_set.h"

namespace qirn_shrink {
namespace {

namespace fs = std::filesystem;
using qirn_batch::Outcome;
using qirn_batch::Verdict;
using Clock = std::chrono::steady_clock;

int fail(const std::string& message, int status = 2) {
  std::fprintf(stderr, "qirn-shrink: %s\n", message.c_str());
  return status;
}

bool same_kind(const Outcome& a, const Outcome& b) {
  return a.verdict == b.verdict && a.detail == b.detail && a.status == b.status;
}

std::string describe(const Outcome& outcome) {
  std::string text = std::string(qirn_batch::verdict_name(outcome.verdict)) + ": " + outcome.detail;
  if (outcome.status > 0) text += " (status " + std::to_string(outcome.status) + ")";
  return text;
}

std::string size_text(int processors, int operations) {
  return std::to_string(processors) + (processors == 1 ? " processor, " : " processors, ") +
         std::to_string(operations) + (operations == 1 ? " operation" : " operations");
}

// The folder in which the input prefix names its files.
fs::path input_folder(const std::string& prefix) {
  const fs::path folder = fs::path(prefix).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Why the result cannot go into the output folder, or "" when it can: the
// input folder, under whatever name, is never written into, and a folder
// that already holds files only with --force.
std::string output_problem(const ShrinkOptions& options) {
  std::error_code error;
  const fs::path out = options.outdir;
  if (fs::equivalent(input_folder(options.input), out, error)) {
    return "the output folder " + options.outdir + " is the input folder; choose another";
  }
  if (!fs::exists(out, error)) return {};
  if (!fs::is_directory(out, error)) return options.outdir + " is not a folder";
  if (!options.force && !fs::is_empty(out, error)) {
    return "the output folder " + options.outdir +
           " is not empty; --force replaces the tfres.N and boundgt.N files in it";
  }
  return {};
}

// Removes the trace and bound files a set in dir may hold from before.
void clear_set_files(const std::string& dir) {
  static const std::regex kSetFile("(tfres|boundgt)\\.[0-9]+");
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (std::regex_match(entry.path().filename().string(), kSetFile)) fs::remove(entry, error);
  }
}

class Shrink {
 public:
  Shrink(const ShrinkOptions& options, const std::string& qirn)
      : options_(options), start_(Clock::now()), progress_(isatty(STDERR_FILENO) == 1) {
    settings_.qirn = qirn;
    settings_.model = options.model;
    settings_.baseline = options.baseline;
  }

  int run() {
    if (const std::string problem = output_problem(options_); !problem.empty()) {
      return fail(problem);
    }
    ReadResult read = read_trace_set(options_.input, options_.processors, !options_.baseline);
    if (!read.error.empty()) return fail(read.error);
    set_ = std::move(read.set);
    const auto original = verdict_of_original();
    if (!original) return fail("no verdict from qirn within the time limit");
    original_ = *original;
    if (original_.verdict == Verdict::Pass) {
      return fail("qirn finds no violation (" + original_.detail + "); nothing to shrink", 1);
    }
    if (original_.verdict == Verdict::Timeout) return fail(original_.detail);
    const TemporaryFolder work(static_cast<int>(set_.processors.size()));
    if (work.path().empty()) return fail("cannot make a temporary folder");
    work_ = work.path();
    return reduce_and_write();
  }

 private:
  double elapsed() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }
  double left() const { return options_.timeLimit - elapsed(); }
  bool out_of_time() const { return options_.timeLimit > 0 && left() <= 0; }

  Outcome run_qirn(const std::string& dir, int processors, const std::string& input,
                   double timeout) {
    qirn_batch::RunSettings settings = settings_;
    settings.input = input;
    settings.timeout = timeout;
    Outcome outcome;
    qirn_batch::run_batch({{dir, processors}}, settings,
                          [&](size_t, const Outcome& got) { outcome = got; });
    ++runs_;
    return outcome;
  }

  std::optional<Outcome> verdict_of_original() {
    std::error_code error;
    const std::string prefix =
        options_.input.empty() ? std::string() : fs::absolute(options_.input, error).string();
    Outcome outcome =
        run_qirn(fs::current_path(error).string(), options_.processors, prefix, options_.timeLimit);
    if (outcome.verdict == Verdict::Timeout && options_.timeLimit > 0) return std::nullopt;
    return outcome;
  }

  // A candidate may take twice as long as the original did, and a second
  // more; one that runs longer counts as a different verdict.
  double full_timeout() const { return 2 * original_.seconds + 1; }

  // Within a time limit, a smaller candidate gets at most what is left of it.
  double candidate_timeout() const {
    if (options_.timeLimit <= 0) return full_timeout();
    return std::min(full_timeout(), std::max(left(), 0.001));
  }

  bool keeps_verdict(const Selection& selection, double timeout) {
    std::string error;
    const int processors = write_trace_set(set_, selection, work_, error);
    if (!error.empty()) return false;
    return same_kind(run_qirn(work_, processors, "", timeout), original_);
  }

  // The whole set as rewritten is tried with its full time even past the
  // time limit, so that there is always a set to write.
  int reduce_and_write() {
    const Selection all = select_all(set_);
    if (!keeps_verdict(all, full_timeout())) {
      return fail(
          "the set written anew (comments and blank lines dropped, bound rows as "
          "SCAN:LB,UB) no longer gives " +
          describe(original_));
    }
    ReducerHooks hooks;
    hooks.keeps_verdict = [this](const Selection& s) {
      return keeps_verdict(s, candidate_timeout());
    };
    hooks.out_of_time = [this] { return out_of_time(); };
    hooks.progress = [this](const Selection& s) { show_progress(s); };
    const Selection best = reduce(set_, hooks);
    if (progress_) std::fputs("\r\033[K", stderr);
    return write_result(all, best);
  }

  void show_progress(const Selection& selection) const {
    if (!progress_) return;
    std::fprintf(stderr, "\r\033[Kqirn-shrink: %d operations on %d processors, %d runs, %.1f s",
                 kept_operations(selection), kept_processors(selection), runs_, elapsed());
    std::fflush(stderr);
  }

  int write_result(const Selection& all, const Selection& best) {
    std::error_code error;
    fs::create_directories(options_.outdir, error);
    if (options_.force) clear_set_files(options_.outdir);
    std::string failure;
    const int processors = write_trace_set(set_, best, options_.outdir, failure);
    if (!failure.empty()) return fail(failure);
    if (out_of_time()) {
      std::fprintf(stderr, "qirn-shrink: time limit reached; writing the smallest set so far\n");
    }
    std::printf("verdict: %s\n", describe(original_).c_str());
    std::printf("before: %s\n", size_text(kept_processors(all), kept_operations(all)).c_str());
    std::printf("after: %s (%d qirn runs, %.1f s)\n",
                size_text(processors, kept_operations(best)).c_str(), runs_, elapsed());
    std::printf("reproduce: %s\n", reproduce_command(processors).c_str());
    return 0;
  }

  std::string reproduce_command(int processors) const {
    std::string dir = options_.outdir;
    if (dir.back() != '/') dir += '/';
    return "qirn -p " + std::to_string(processors) + " -m " + options_.model +
           (options_.baseline ? " -b" : "") + " -i " + dir;
  }

  const ShrinkOptions& options_;
  qirn_batch::RunSettings settings_;
  Clock::time_point start_;
  bool progress_;
  TraceSet set_;
  Outcome original_;
  std::string work_;
  int runs_ = 0;
};

}  // namespace

int shrink(const ShrinkOptions& options, const std::string& qirn) {
  return Shrink(options, qirn).run();
}

}  // namespace qirn_shrink
