// The built tools run as a user runs them, in a scratch folder of their own:
// simulated trace sets and stand-ins for qirn written into it, the output and
// status of a command, and whether the processes a run started have ended.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch/verdict.h"
#include "gen/generate.h"

std::string read_file(const std::filesystem::path& path);

struct CommandRun {
  int status = -1;
  std::string out;
};

// Runs the shell command line; its standard output and exit status.
CommandRun run_command(const std::string& line);

// One run of the built qirn on a set's folder, as qirn-batch runs it.
qirn_batch::Outcome run_qirn_once(const std::string& dir, int processors, const std::string& model,
                                  bool baseline = false);

// Whether the process is gone, or a zombie nobody has reaped yet.
bool process_ended(long pid);

// Whether it ends within five seconds: a killed process on a busy machine
// may take a moment to end.
bool ends_soon(long pid);

// Starts the executable words[0] with the other words as its arguments, its
// standard output and error to /dev/null and, when `tmp` is given, TMPDIR
// set to it; sends it `signal` once `ready` holds (after ten seconds at
// most). Its wait status.
int interrupted(std::vector<std::string> words, const std::function<bool()>& ready, int signal,
                const std::string& tmp = "");

class ToolScratch : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the run that `config` simulates into the folder `dir`.
  void generate(const std::string& dir, qirn_gen::GenConfig config);
  void write(const std::string& relative, const std::string& text);

  // Writes the executable `name`, which does `action` when its working
  // folder matches the shell pattern and then runs the real qirn; its path.
  std::string fake_qirn(const std::string& name, const std::string& pattern,
                        const std::string& action);

  std::filesystem::path root_;
};
