// qirn-batch: verifies many trace sets with qirn, several at once.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "batch/expect.h"
#include "batch/junit.h"
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

// A file the results go to. A failed write or flush is kept, with the
// system's reason, to be reported when the batch is done.
class Output {
 public:
  Output(FILE* file, std::string name) : file_(file), name_(std::move(name)) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() { close(); }

  bool is_open() const { return file_ != nullptr; }

  void write(const std::string& text) {
    if (file_ != nullptr && (std::fputs(text.c_str(), file_) < 0 || std::fflush(file_) != 0)) {
      keep_error();
    }
  }

  // Flushes and, unless it is standard output, closes the file; the failure
  // met on the way, empty when everything was written.
  std::string close() {
    if (file_ == nullptr) return failure_;
    if (std::fflush(file_) != 0 || std::ferror(file_) != 0) keep_error();
    if (file_ != stdout && std::fclose(file_) != 0) keep_error();
    file_ = nullptr;
    return failure_;
  }

 private:
  void keep_error() {
    if (failure_.empty()) failure_ = "cannot write " + name_ + ": " + std::strerror(errno);
  }

  FILE* file_;
  std::string name_;
  std::string failure_;
};

qirn_batch::RunSettings settings_from(const BatchOptions& options) {
  const long cores = sysconf(_SC_NPROCESSORS_ONLN);
  const int jobs = options.jobs > 0 ? options.jobs : static_cast<int>(cores > 0 ? cores : 1);
  return {qirn_path(options.qirn), options.model, options.baseline, jobs, options.timeout, {}};
}

// What the set's manifest says, read for --expect and, for its qirn-gen
// command, for --junit.
std::optional<qirn_batch::Expectation> manifest_of(const BatchOptions& options,
                                                   const qirn_batch::RunSettings& settings,
                                                   const qirn_batch::TraceSet& set) {
  if (!options.expect && options.junitFile.empty()) return std::nullopt;
  return qirn_batch::read_expectation(set.path, settings.model, settings.baseline);
}

// Opens the file a result option names, created or truncated; false, with
// errno set, when it cannot. No name leaves file at nullptr.
bool open_named(const std::string& name, FILE*& file) {
  return name.empty() || (file = std::fopen(name.c_str(), "wb")) != nullptr;
}

int run(const BatchOptions& options) {
  const qirn_batch::RunSettings settings = settings_from(options);
  if (access(settings.qirn.c_str(), X_OK) != 0) {
    return fail("cannot run qirn at " + settings.qirn + ": " + std::strerror(errno));
  }
  qirn_batch::FoundSets found = qirn_batch::find_sets(options.paths, options.processors);
  if (!found.error.empty()) return fail(found.error);
  if (options.shardCount > 0)
    found.sets = qirn_batch::shard_of(found.sets, options.shardIndex, options.shardCount);
  FILE* jsonFile = nullptr;
  if (!open_named(options.jsonFile, jsonFile)) {
    return fail("cannot write " + options.jsonFile + ": " + std::strerror(errno));
  }
  Output json(jsonFile, options.jsonFile);
  FILE* junitFile = nullptr;
  if (!open_named(options.junitFile, junitFile)) {
    return fail("cannot write " + options.junitFile + ": " + std::strerror(errno));
  }
  Output junit(junitFile, options.junitFile);
  Output out(stdout, "standard output");
  const auto start = std::chrono::steady_clock::now();
  qirn_batch::Tally tally(options.expect);
  qirn_batch::JunitReport junitReport(settings);
  Progress progress(found.sets.size());
  progress.update(tally);
  qirn_batch::run_batch(
      found.sets, settings, [&](size_t index, const qirn_batch::Outcome& outcome) {
        const qirn_batch::TraceSet& set = found.sets[index];
        const std::optional<qirn_batch::Expectation> manifest = manifest_of(options, settings, set);
        const qirn_batch::Expectation* expectation = options.expect ? &*manifest : nullptr;
        tally.add(outcome.verdict, expectation);
        progress.clear();
        out.write(qirn_batch::result_line(set, outcome));
        json.write(qirn_batch::json_object(set, settings, outcome, expectation));
        junitReport.add(set, outcome, expectation, manifest ? manifest->command : "");
        progress.update(tally);
      });
  progress.clear();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  out.write(tally.summary(elapsed.count()));
  junit.write(junitReport.text(elapsed.count()));
  int status = tally.exit_status();
  for (Output* output : {&out, &json, &junit}) {
    const std::string failure = output->close();
    if (!failure.empty()) status = fail(failure);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const qirn_batch::ParsedOptions parsed = qirn_batch::parse_options(argc, argv);
  if (parsed.line.action != qirn_tools::Action::Run) {
    return qirn_tools::answer(parsed.line, {"qirn-batch", qirn_batch::usage_text(), 2, false});
  }
  return run(parsed.options);
}
