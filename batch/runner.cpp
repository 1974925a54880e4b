#include "batch/runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <list>
#include <optional>

namespace qirn_batch {
namespace {

using Clock = std::chrono::steady_clock;

struct Child {
  size_t index = 0;
  pid_t pid = -1;
  int fds[2] = {-1, -1};  // qirn's standard output and standard error; -1 once closed
  Clock::time_point start;
  std::optional<Clock::time_point> deadline;
  bool timedOut = false;
  OutputScan out;
  ErrorText err;
};

// In the child between fork and exec: reports on the error pipe and ends.
[[noreturn]] void child_failure(const char* what) {
  const char* reason = std::strerror(errno);
  for (const char* part : {"qirn-batch: ", what, ": ", reason, "\n"}) {
    if (write(STDERR_FILENO, part, std::strlen(part)) < 0) break;
  }
  _exit(127);
}

[[noreturn]] void exec_qirn(const std::string& dir, const std::string& qirn,
                            const std::vector<char*>& argv, int outEnd, int errEnd) {
  const int input = open("/dev/null", O_RDONLY);
  if (input < 0 || dup2(input, STDIN_FILENO) < 0 || dup2(outEnd, STDOUT_FILENO) < 0 ||
      dup2(errEnd, STDERR_FILENO) < 0) {
    _exit(127);
  }
  if (chdir(dir.c_str()) != 0) child_failure("cannot enter the set's folder");
  execv(qirn.c_str(), argv.data());
  child_failure("cannot run qirn");
}

void close_fd(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

class Batch {
 public:
  Batch(const std::vector<TraceSet>& sets, const RunSettings& settings, const ReportFn& report)
      : sets_(sets), settings_(settings), report_(report), done_(sets.size()) {}

  void run() {
    while (reported_ < sets_.size()) {
      while (running_.size() < static_cast<size_t>(settings_.jobs) && next_ < sets_.size()) {
        start(next_++);
      }
      if (!running_.empty()) wait_for_output();
      reap();
      report_ready();
    }
  }

 private:
  void start(size_t index) {
    const std::vector<std::string> words = qirn_arguments(sets_[index], settings_);
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1};
    const bool piped = pipe2(outPipe, O_CLOEXEC) == 0 && pipe2(errPipe, O_CLOEXEC) == 0;
    const pid_t pid = piped ? fork() : -1;
    if (pid == 0) exec_qirn(sets_[index].path, settings_.qirn, argv, outPipe[1], errPipe[1]);
    const std::string reason = std::strerror(errno);
    close_fd(outPipe[1]);
    close_fd(errPipe[1]);
    if (pid < 0) {
      close_fd(outPipe[0]);
      close_fd(errPipe[0]);
      done_[index] = Outcome{Verdict::Error, "cannot start qirn: " + reason};
      return;
    }
    Child& child = running_.emplace_back();
    child.index = index;
    child.pid = pid;
    child.fds[0] = outPipe[0];
    child.fds[1] = errPipe[0];
    child.start = Clock::now();
    if (settings_.timeout > 0) {
      child.deadline = child.start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(settings_.timeout));
    }
  }

  // Waits until some output arrives or the nearest time limit passes, reads
  // what arrived and kills the children past their limit.
  void wait_for_output() {
    std::vector<pollfd> polled;
    std::vector<std::pair<Child*, int>> owners;  // child and stream of each polled entry
    for (Child& child : running_) {
      for (int stream = 0; stream < 2; ++stream) {
        if (child.fds[stream] < 0) continue;
        polled.push_back({child.fds[stream], POLLIN, 0});
        owners.emplace_back(&child, stream);
      }
    }
    if (poll(polled.data(), polled.size(), poll_timeout()) > 0) {
      for (size_t i = 0; i < polled.size(); ++i) {
        if (polled[i].revents != 0) read_stream(*owners[i].first, owners[i].second);
      }
    }
    kill_overdue();
  }

  int poll_timeout() const {
    std::optional<Clock::time_point> nearest;
    for (const Child& child : running_) {
      if (child.deadline && !child.timedOut && (!nearest || *child.deadline < *nearest)) {
        nearest = child.deadline;
      }
    }
    if (!nearest) return -1;
    const std::chrono::duration<double, std::milli> left = *nearest - Clock::now();
    return static_cast<int>(std::clamp(std::ceil(left.count()), 0.0, 1e9));
  }

  static void read_stream(Child& child, int stream) {
    char buffer[65536];
    const ssize_t got = read(child.fds[stream], buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) return;
    if (got <= 0) return close_fd(child.fds[stream]);
    const std::string_view bytes(buffer, static_cast<size_t>(got));
    if (stream == 0) {
      child.out.add(bytes);
    } else {
      child.err.add(bytes);
    }
  }

  void kill_overdue() {
    const Clock::time_point now = Clock::now();
    for (Child& child : running_) {
      if (child.deadline && !child.timedOut && now >= *child.deadline) {
        kill(child.pid, SIGKILL);
        child.timedOut = true;
      }
    }
  }

  // Collects every child whose output has ended.
  void reap() {
    for (auto it = running_.begin(); it != running_.end();) {
      if (it->fds[0] >= 0 || it->fds[1] >= 0) {
        ++it;
        continue;
      }
      done_[it->index] = finish(*it);
      it = running_.erase(it);
    }
  }

  Outcome finish(Child& child) const {
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    child.out.finish();
    Ending ending{Ending::Kind::Exited, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
    if (WIFSIGNALED(status)) {
      ending = {child.timedOut ? Ending::Kind::TimedOut : Ending::Kind::Signaled, WTERMSIG(status)};
    }
    Outcome outcome = classify(child.out, child.err, ending, settings_.timeout);
    outcome.seconds = std::chrono::duration<double>(Clock::now() - child.start).count();
    return outcome;
  }

  void report_ready() {
    while (reported_ < sets_.size() && done_[reported_]) {
      report_(reported_, *done_[reported_]);
      ++reported_;
    }
  }

  const std::vector<TraceSet>& sets_;
  const RunSettings& settings_;
  const ReportFn& report_;
  std::vector<std::optional<Outcome>> done_;
  std::list<Child> running_;
  size_t next_ = 0;
  size_t reported_ = 0;
};

}  // namespace

std::vector<std::string> qirn_arguments(const TraceSet& set, const RunSettings& settings) {
  std::vector<std::string> words = {"qirn", "-p", std::to_string(set.processors), "-m",
                                    settings.model};
  if (settings.baseline) words.push_back("-b");
  if (!settings.input.empty()) words.insert(words.end(), {"-i", settings.input});
  return words;
}

void run_batch(const std::vector<TraceSet>& sets, const RunSettings& settings,
               const ReportFn& report) {
  Batch(sets, settings, report).run();
}

}  // namespace qirn_batch
