#include "shrink/interrupt.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>

namespace qirn_shrink {
namespace {

namespace fs = std::filesystem;

// The open temporary folder, read by the signal handler; null when none.
std::atomic<const TemporaryFolder*> openFolder{nullptr};
pid_t shrinkPid = 0;
bool onTerminal = false;

void say(const char* text) {
  if (write(STDERR_FILENO, text, std::strlen(text)) < 0) return;
}

// Only async-signal-safe calls: unlink, rmdir, write and _exit.
extern "C" void end_on_signal(int signal) {
  if (const TemporaryFolder* folder = openFolder.load()) {
    for (const std::string& file : folder->files()) unlink(file.c_str());
    rmdir(folder->path().c_str());
  }
  if (onTerminal) say("\r\033[K");
  say("qirn-shrink: interrupted\n");
  _exit(128 + signal);
}

// In a new child: it is killed when qirn-shrink ends, and ends at once if
// qirn-shrink is already gone.
extern "C" void die_with_parent() {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != shrinkPid) _exit(127);
}

// Blocks SIGINT and SIGTERM while it lives, so that a folder is never made
// without the handler knowing it.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigprocmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

}  // namespace

void end_cleanly_on_interrupt() {
  shrinkPid = getpid();
  onTerminal = isatty(STDERR_FILENO) == 1;
  pthread_atfork(nullptr, nullptr, die_with_parent);
  struct sigaction action = {};
  action.sa_handler = end_on_signal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  // A signal ignored by whoever started qirn-shrink stays ignored.
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction previous = {};
    sigaction(signal, nullptr, &previous);
    if (previous.sa_handler != SIG_IGN) sigaction(signal, &action, nullptr);
  }
}

TemporaryFolder::TemporaryFolder(int processors) {
  const InterruptsHeld held;
  std::string pattern = (fs::temp_directory_path() / "qirn-shrink.XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  for (int p = 0; p < processors; ++p) {
    for (const char* kind : {"/tfres.", "/boundgt."})
      files_.push_back(path_ + kind + std::to_string(p));
  }
  openFolder.store(this);
}

TemporaryFolder::~TemporaryFolder() {
  if (path_.empty()) return;
  std::error_code error;
  fs::remove_all(path_, error);
  openFolder.store(nullptr);
}

}  // namespace qirn_shrink
