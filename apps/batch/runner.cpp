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

// The descriptor on which qirn writes its JSON object, a pipe that only the
// batch reads: nothing is left behind, however the run ends.
constexpr int kReportFd = 3;

// The write end of the wake-up pipe and the interrupt that arrived, shared
// with the signal handler.
int gWakeFd = -1;
volatile sig_atomic_t gInterrupt = 0;

extern "C" void on_signal(int signal) {
  const int saved = errno;
  if (signal != SIGCHLD) gInterrupt = signal;
  [[maybe_unused]] const ssize_t written = write(gWakeFd, "", 1);
  errno = saved;
}

// While it lives, a child's end and SIGINT or SIGTERM wake the batch's poll:
// their handler writes a byte to a pipe that poll watches. An interrupt that
// was ignored when the batch began stays ignored.
class SignalWatch {
 public:
  SignalWatch() {
    if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) fds_[0] = fds_[1] = -1;
    gWakeFd = fds_[1];
    gInterrupt = 0;
    watch(SIGCHLD);
    for (const int signal : {SIGINT, SIGTERM}) {
      struct sigaction old {};
      if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) watch(signal);
    }
  }
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
  ~SignalWatch() {
    restore();
    for (const int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }

  int fd() const { return fds_[0]; }
  static int interrupt() { return gInterrupt; }

  void drain() const {
    char bytes[64];
    while (fds_[0] >= 0 && read(fds_[0], bytes, sizeof bytes) > 0) {
    }
  }

  // Puts back the handlers that were there before, and gives them an
  // interrupt that came too late to be seen.
  void restore() {
    for (const auto& [signal, old] : saved_) sigaction(signal, &old, nullptr);
    saved_.clear();
    gWakeFd = -1;
    if (const int signal = gInterrupt) {
      gInterrupt = 0;
      raise(signal);
    }
  }

 private:
  void watch(int signal) {
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | (signal == SIGCHLD ? SA_NOCLDSTOP : 0);
    struct sigaction old {};
    if (sigaction(signal, &action, &old) == 0) saved_.emplace_back(signal, old);
  }

  int fds_[2] = {-1, -1};
  std::vector<std::pair<int, struct sigaction>> saved_;
};

struct Child {
  size_t index = 0;
  pid_t pid = -1;         // also the id of its process group
  int fds[2] = {-1, -1};  // qirn's standard error and its JSON object; -1 once closed
  Clock::time_point start;
  std::optional<Clock::time_point> deadline;
  bool timedOut = false;
  ErrorText err;
  std::string report;
};

// In the child between fork and exec: reports on the error pipe and ends.
[[noreturn]] void child_failure(const char* what) {
  const char* reason = std::strerror(errno);
  for (const char* part : {"qirn-batch: ", what, ": ", reason, "\n"}) {
    if (write(STDERR_FILENO, part, std::strlen(part)) < 0) break;
  }
  _exit(127);
}

// Makes fd open as kReportFd across exec.
bool place_report_end(int fd) {
  return fd == kReportFd ? fcntl(fd, F_SETFD, 0) == 0 : dup2(fd, kReportFd) >= 0;
}

// qirn leads a process group of its own, so that it can be killed together
// with whatever it starts. Its standard output is not read: its object tells
// the verdict.
[[noreturn]] void exec_qirn(const std::string& dir, const std::string& qirn,
                            const std::vector<char*>& argv, int errEnd, int reportEnd) {
  setpgid(0, 0);
  const int nothing = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (nothing < 0 || dup2(nothing, STDIN_FILENO) < 0 || dup2(nothing, STDOUT_FILENO) < 0 ||
      dup2(errEnd, STDERR_FILENO) < 0 || !place_report_end(reportEnd)) {
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

bool has_ended(const Child& child) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(child.pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == child.pid;
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
      if (!running_.empty()) wait_for_events();
      if (SignalWatch::interrupt() != 0) stop_all(SignalWatch::interrupt());
      kill_overdue();
      reap();
      report_ready();
    }
  }

 private:
  void start(size_t index) {
    if (!sets_[index].unreadable.empty()) {
      done_[index] = Outcome{Verdict::Error, sets_[index].unreadable};
      return;
    }
    std::vector<std::string> words = qirn_arguments(sets_[index], settings_);
    words.insert(words.end(), {"--json", "/dev/fd/" + std::to_string(kReportFd)});
    std::vector<char*> argv;
    for (const std::string& word : words) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    int errPipe[2] = {-1, -1}, reportPipe[2] = {-1, -1};
    const bool piped = pipe2(errPipe, O_CLOEXEC) == 0 && pipe2(reportPipe, O_CLOEXEC) == 0;
    const pid_t pid = piped ? fork() : -1;
    if (pid == 0) exec_qirn(sets_[index].path, settings_.qirn, argv, errPipe[1], reportPipe[1]);
    const std::string reason = std::strerror(errno);
    close_fd(errPipe[1]);
    close_fd(reportPipe[1]);
    if (pid < 0) {
      close_fd(errPipe[0]);
      close_fd(reportPipe[0]);
      done_[index] = Outcome{Verdict::Error, "cannot start qirn: " + reason};
      return;
    }
    setpgid(pid, pid);  // also here, so the group exists before it is ever killed
    add_child(index, pid, errPipe[0], reportPipe[0]);
  }

  void add_child(size_t index, pid_t pid, int errFd, int reportFd) {
    Child& child = running_.emplace_back();
    child.index = index;
    child.pid = pid;
    child.fds[0] = errFd;
    child.fds[1] = reportFd;
    for (const int fd : child.fds) fcntl(fd, F_SETFL, O_NONBLOCK);
    child.start = Clock::now();
    if (settings_.timeout > 0) {
      child.deadline = child.start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(settings_.timeout));
    }
  }

  // Waits until some output arrives, a child ends, an interrupt comes or the
  // nearest time limit passes, and reads what arrived.
  void wait_for_events() {
    std::vector<pollfd> polled = {{watch_.fd(), POLLIN, 0}};
    std::vector<std::pair<Child*, int>> owners;  // child and stream of each entry after the first
    for (Child& child : running_) {
      for (int stream = 0; stream < 2; ++stream) {
        if (child.fds[stream] < 0) continue;
        polled.push_back({child.fds[stream], POLLIN, 0});
        owners.emplace_back(&child, stream);
      }
    }
    if (poll(polled.data(), polled.size(), poll_timeout()) > 0) {
      for (size_t i = 1; i < polled.size(); ++i) {
        if (polled[i].revents != 0) read_stream(*owners[i - 1].first, owners[i - 1].second);
      }
    }
    watch_.drain();
  }

  // Until the nearest time limit; without a wake-up pipe, a child's end is
  // looked for every tenth of a second instead.
  int poll_timeout() const {
    std::optional<Clock::time_point> nearest;
    for (const Child& child : running_) {
      if (child.deadline && !child.timedOut && (!nearest || *child.deadline < *nearest)) {
        nearest = child.deadline;
      }
    }
    const int fallback = watch_.fd() < 0 ? 100 : -1;
    if (!nearest) return fallback;
    const std::chrono::duration<double, std::milli> left = *nearest - Clock::now();
    const int until = static_cast<int>(std::clamp(std::ceil(left.count()), 0.0, 1e9));
    return fallback < 0 ? until : std::min(until, fallback);
  }

  // Reads one piece; false once the stream has nothing more for now.
  static bool read_stream(Child& child, int stream) {
    char buffer[65536];
    const ssize_t got = read(child.fds[stream], buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) {
      close_fd(child.fds[stream]);
      return false;
    }
    const std::string_view bytes(buffer, static_cast<size_t>(got));
    if (stream == 0) {
      child.err.add(bytes);
    } else {
      child.report.append(bytes);
    }
    return true;
  }

  void kill_overdue() {
    const Clock::time_point now = Clock::now();
    for (Child& child : running_) {
      if (child.deadline && !child.timedOut && now >= *child.deadline) {
        kill(-child.pid, SIGKILL);
        child.timedOut = true;
      }
    }
  }

  // Collects every child that has ended.
  void reap() {
    for (auto it = running_.begin(); it != running_.end();) {
      if (!has_ended(*it)) {
        ++it;
        continue;
      }
      done_[it->index] = finish(*it);
      it = running_.erase(it);
    }
  }

  // Kills what the ended child left running in its group, which may hold its
  // pipes open, reads the output already written and collects the child. Its
  // group id stays reserved until then, as the child is not yet collected.
  Outcome finish(Child& child) const {
    kill(-child.pid, SIGKILL);
    for (int stream = 0; stream < 2; ++stream) {
      while (child.fds[stream] >= 0 && read_stream(child, stream)) {
      }
      close_fd(child.fds[stream]);
    }
    int status = 0;
    while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
    }
    Ending ending{Ending::Kind::Exited, WIFEXITED(status) ? WEXITSTATUS(status) : 0};
    if (WIFSIGNALED(status)) {
      ending = {child.timedOut ? Ending::Kind::TimedOut : Ending::Kind::Signaled, WTERMSIG(status)};
    }
    Outcome outcome =
        classify(read_qirn_report(child.report), child.err, ending, settings_.timeout);
    outcome.seconds = std::chrono::duration<double>(Clock::now() - child.start).count();
    return outcome;
  }

  // Kills every running child's group and collects the children, then ends
  // this process by the signal, with the handler it had before.
  [[noreturn]] void stop_all(int signal) {
    for (Child& child : running_) kill(-child.pid, SIGKILL);
    for (Child& child : running_) {
      while (waitpid(child.pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
    watch_.restore();
    _exit(128 + signal);
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
  SignalWatch watch_;
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
