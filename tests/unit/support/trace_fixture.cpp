#include "support/trace_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "bounds/scans.h"
#include "gen/files.h"
#include "report/diagnostics.h"
#include "run/driver.h"
#include "trace/graph.h"
#include "trace/trace_reader.h"

int count_from_env(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atoi(text) : fallback;
}

RunFiles run_files(const qirn_gen::GeneratedRun& run, const qirn_gen::GenConfig& config) {
  RunFiles files;
  for (int32_t p = 0; p < static_cast<int32_t>(run.programs.size()); ++p) {
    files.traces.push_back(qirn_gen::trace_text(run, config, p));
    files.bounds.push_back(qirn_gen::bound_text(run, p));
  }
  return files;
}

std::vector<std::string> set_arguments(std::size_t processors, const std::string& model,
                                       bool optimized, const std::string& dir) {
  std::vector<std::string> words = {"-p", std::to_string(processors), "-m", model};
  if (!optimized) words.push_back("-b");
  words.insert(words.end(), {"-i", dir + "/"});
  return words;
}

const char* name(RunVerdict verdict) {
  return verdict == RunVerdict::Pass        ? "pass"
         : verdict == RunVerdict::Violation ? "violation"
                                            : "none";
}

RunVerdict verdict_of(const std::string& run) {
  bool violation = run.find("Find a write-to consistency violation\n") != std::string::npos &&
                   run.ends_with("status 255\n");
  bool pass = false;
  std::istringstream lines(run);
  for (std::string line; std::getline(lines, line);) {
    violation = violation || line.ends_with("has violation!") || line == "find cycle" ||
                line == "before add arc!" || line == "no path can be found!";
    pass = pass || line == "no violation!" || line == "no cycle!";
  }
  if (violation) return RunVerdict::Violation;
  return pass && run.ends_with("status 0\n") ? RunVerdict::Pass : RunVerdict::None;
}

void TraceFixture::SetUp() {
  reset_run_state();
  char pattern[] = "/tmp/qirn-test-XXXXXX";
  scratch_ = mkdtemp(pattern);
}

void TraceFixture::TearDown() {
  std::filesystem::remove_all(scratch_);
  reset_run_state();
}

std::string TraceFixture::write_files(const std::string& name,
                                      const std::vector<std::string>& texts) {
  const std::string prefix = scratch_ + "/" + name;
  for (std::size_t p = 0; p < texts.size(); ++p) {
    std::ofstream(prefix + "." + std::to_string(p), std::ios::binary) << texts[p];
  }
  return prefix;
}

std::string TraceFixture::run_on(const RunFiles& files, const std::string& model, bool optimized) {
  write_files("tfres", files.traces);
  write_files("boundgt", files.bounds);
  return whole_run(set_arguments(files.traces.size(), model, optimized, scratch_));
}

void TraceFixture::load(const std::vector<std::string>& traces, MCM_t model,
                        const std::vector<std::string>& bounds) {
  state->MC = model;
  state->NPROCESSOR = static_cast<int_t>(traces.size());
  state->QIRNTFRES = write_files("tfres", traces);
  state->isBase = bounds.empty() ? 1 : 0;
  if (!bounds.empty()) state->QIRNBOUND = write_files("boundgt", bounds);
  get_proc_op_num();
  state->NOPLIST = max(state->procOpNum.data(), state->NPROCESSOR);
  if (state->isBase == 0) calculate_scan();
  qirn_init();
  if (state->isBase == 0) read_bound_res();
  read_result();
  get_addr_lock_num();
}

TraceFixture::Arcs TraceFixture::arcs() {
  Arcs all;
  for (auto& row : state->graph) {
    for (opnode& n : row) {
      auto& forward = all.forward.emplace_back();
      for (const oparc* a = n.pointTo; a != nullptr; a = a->nxtarc) {
        forward.emplace_back(a->nptr->proc_num, a->nptr->seq_num, a->order);
      }
      auto& reverse = all.reverse.emplace_back();
      for (const roparc* a = n.pointFrom; a != nullptr; a = a->nxtarc) {
        reverse.emplace_back(a->nptr->proc_num, a->nptr->seq_num, a->order);
      }
      all.pointed.push_back(n.pointed);
    }
  }
  return all;
}

std::string stores(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "store 0 " + std::to_string(i + 1) + "\n";
  return text;
}

std::string whole_run(std::vector<std::string> words) {
  words.insert(words.begin(), "qirn");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  int status = 0;
  ::testing::internal::CaptureStderr();
  std::string out = printed([&] {
    status = run_guarded([&] { return run_qirn(static_cast<int>(words.size()), argv.data()); });
  });
  out += ::testing::internal::GetCapturedStderr() + "status " + std::to_string(status) + "\n";
  return std::regex_replace(out, std::regex("Time used = [0-9.]+"), "Time used");
}
