// qirn-batch: verifies many trace sets with qirn, several at once.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "batch/options.h"
#include "batch/report.h"
#include "batch/runner.h"
#include "batch/sets.h"

namespace {

namespace fs = std::filesystem;
using qirn_batch::BatchOptions;

int fail(const std::string& message) {
  std::fprintf(stderr, "qirn-batch: %s\n", message.c_str());
  return 2;
}

// The qirn named on the command line, or the one beside this executable, as
// an absolute path (qirn runs in each set's folder).
std::string qirn_path(const std::string& named) {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path qirn = named.empty() ? self.parent_path() / "qirn" : fs::path(named);
  return fs::absolute(qirn, error).string();
}

// Shows how far the batch is on a terminal, on one line that is rewritten.
class Progress {
 public:
  Progress(size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) {}

  void update(const qirn_batch::Tally& tally) {
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K%d/%zu done: %d violation, %d error, %d timeout", tally.total(),
                 total_, tally.count(qirn_batch::Verdict::Violation),
                 tally.count(qirn_batch::Verdict::Error),
                 tally.count(qirn_batch::Verdict::Timeout));
    std::fflush(stderr);
  }

  void clear() {
    if (shown_) std::fputs("\r\033[K", stderr);
  }

 private:
  size_t total_;
  bool shown_;
};

qirn_batch::RunSettings settings_from(const BatchOptions& options) {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  const int jobs = options.jobs > 0 ? options.jobs : static_cast<int>(cores > 0 ? cores : 1);
  return {qirn_path(options.qirn), options.model, options.baseline, jobs, options.timeout, {}};
}

int run(const BatchOptions& options) {
  const qirn_batch::RunSettings settings = settings_from(options);
  if (access(settings.qirn.c_str(), X_OK) != 0) {
    return fail("cannot run qirn at " + settings.qirn + ": " + std::strerror(errno));
  }
  const qirn_batch::FoundSets found = qirn_batch::find_sets(options.paths, options.processors);
  if (!found.error.empty()) return fail(found.error);
  std::ofstream json;
  if (!options.jsonFile.empty()) {
    json.open(options.jsonFile, std::ios::binary | std::ios::trunc);
    if (!json) return fail("cannot write " + options.jsonFile + ": " + std::strerror(errno));
  }
  const auto start = std::chrono::steady_clock::now();
  qirn_batch::Tally tally;
  Progress progress(found.sets.size());
  progress.update(tally);
  qirn_batch::run_batch(found.sets, settings,
                        [&](size_t index, const qirn_batch::Outcome& outcome) {
                          const qirn_batch::TraceSet& set = found.sets[index];
                          tally.add(outcome.verdict);
                          progress.clear();
                          std::fputs(qirn_batch::result_line(set, outcome).c_str(), stdout);
                          std::fflush(stdout);
                          if (json.is_open())
                            json << qirn_batch::json_object(set, settings, outcome) << std::flush;
                          progress.update(tally);
                        });
  progress.clear();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::fputs(tally.summary(elapsed.count()).c_str(), stdout);
  if (json.is_open() && !json) return fail("cannot write " + options.jsonFile);
  return tally.exit_status();
}

}  // namespace

int main(int argc, char** argv) {
  using qirn_batch::ParsedOptions;
  const ParsedOptions parsed = qirn_batch::parse_options(argc, argv);
  if (parsed.action == ParsedOptions::Action::Fail) {
    std::fprintf(stderr, "qirn-batch: %s\nTry 'qirn-batch --help'.\n", parsed.error.c_str());
    return 2;
  }
  if (parsed.action == ParsedOptions::Action::Help) {
    std::fputs(qirn_batch::usage_text().c_str(), stdout);
    return 0;
  }
  return run(parsed.options);
}
