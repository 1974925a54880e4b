#include "support/trace_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "bounds/scans.h"
#include "report/diagnostics.h"
#include "run/driver.h"
#include "trace/graph.h"
#include "trace/trace_reader.h"

int count_from_env(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::atoi(text) : fallback;
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
