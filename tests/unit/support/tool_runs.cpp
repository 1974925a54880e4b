#include "support/tool_runs.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "batch/runner.h"
#include "gen/files.h"

namespace fs = std::filesystem;

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

CommandRun run_command(const std::string& line) {
  CommandRun run;
  FILE* pipe = popen(line.c_str(), "r");
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    run.out.append(buffer, got);
  }
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

qirn_batch::Outcome run_qirn_once(const std::string& dir, int processors, const std::string& model,
                                  bool baseline) {
  const qirn_batch::RunSettings settings{QIRN_EXE, model, baseline, 1, 60, {}};
  qirn_batch::Outcome outcome;
  qirn_batch::run_batch({{dir, processors}}, settings,
                        [&](size_t, const qirn_batch::Outcome& got) { outcome = got; });
  return outcome;
}

bool process_ended(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const size_t end = line.rfind(") ");
  return end == std::string::npos || line[end + 2] == 'Z';
}

bool ends_soon(long pid) {
  for (int wait = 0; wait < 500 && !process_ended(pid); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return process_ended(pid);
}

int interrupted(std::vector<std::string> words, const std::function<bool()>& ready, int signal,
                const std::string& tmp) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (!tmp.empty()) setenv("TMPDIR", tmp.c_str(), 1);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  for (int wait = 0; wait < 1000 && !ready(); ++wait) usleep(10000);
  kill(child, signal);
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

void ToolScratch::SetUp() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  root_ = fs::temp_directory_path() /
          (std::string(test->test_suite_name()) + "_" + std::to_string(getpid()));
  fs::remove_all(root_);
  fs::create_directories(root_);
}

void ToolScratch::TearDown() {
  fs::remove_all(root_);
}

void ToolScratch::generate(const std::string& dir, qirn_gen::GenConfig config) {
  fs::create_directories(root_ / dir);
  config.prefix = (root_ / dir).string() + "/";
  qirn_gen::write_run(qirn_gen::generate(config), config);
}

void ToolScratch::write(const std::string& relative, const std::string& text) {
  fs::create_directories((root_ / relative).parent_path());
  std::ofstream(root_ / relative) << text;
}

std::string ToolScratch::fake_qirn(const std::string& name, const std::string& pattern,
                                   const std::string& action) {
  write(name, "#!/bin/sh\ncase \"$PWD\" in " + pattern + ") " + action +
                  ";; esac\nexec '" QIRN_EXE "' \"$@\"\n");
  fs::permissions(root_ / name, fs::perms::owner_all);
  return (root_ / name).string();
}
