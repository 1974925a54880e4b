#include "gen/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "gen/manifest.h"

namespace qirn_gen {
namespace {

std::string op_line(const GenOp& op) {
  const std::string target = std::to_string(op.target);
  switch (op.kind) {
    case OpKind::Load:
      return "load " + target + " " + std::to_string(op.value) + "\n";
    case OpKind::Store:
      return "store " + target + " " + std::to_string(op.value) + "\n";
    case OpKind::Acquire:
      return "acquire " + target + "\n";
    case OpKind::Release:
      return "release " + target + "\n";
  }
  return {};
}

[[noreturn]] void fail(const std::string& path, int error) {
  throw WriteError("cannot write " + path + ": " + std::strerror(error));
}

void write_file(const std::string& path, const std::string& text) {
  errno = 0;
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) fail(path, errno);
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int writeError = errno;
  if (std::fclose(file) != 0) fail(path, errno);
  if (!written) fail(path, writeError);
}

}  // namespace

std::string trace_path(const std::string& prefix, int32_t proc) {
  return prefix + "tfres." + std::to_string(proc);
}

std::string bound_path(const std::string& prefix, int32_t proc) {
  return prefix + "boundgt." + std::to_string(proc);
}

std::string trace_text(const GeneratedRun& run, const GenConfig& config, int32_t proc) {
  std::string text = "# qirn-gen seed " + std::to_string(config.seed) + ": processor " +
                     std::to_string(proc) + " of " + std::to_string(run.programs.size()) + "\n";
  for (const GenOp& op : run.programs[proc]) text += op_line(op);
  return text;
}

std::string bound_text(const GeneratedRun& run, int32_t proc) {
  std::string text = "# scan:lower,upper\n";
  for (size_t k = 0; k < run.scans.size(); ++k) {
    const ScanRow& row = run.scans[k];
    text += std::to_string(k + 1) + ":" + std::to_string(row.lb[proc]) + "," +
            std::to_string(row.ub[proc]) + "\n";
  }
  return text;
}

// The folder the prefix names, and the folders above it, are made when missing.
void make_folder_of(const std::string& prefix) {
  const std::filesystem::path folder = std::filesystem::path(prefix + "x").parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw WriteError("cannot make folder " + folder.string() + ": " + error.message());
}

void write_run(const GeneratedRun& run, const GenConfig& config) {
  make_folder_of(config.prefix);
  for (int32_t p = 0; p < config.processors; ++p) {
    write_file(trace_path(config.prefix, p), trace_text(run, config, p));
    write_file(bound_path(config.prefix, p), bound_text(run, p));
  }
  write_file(manifest_path(config.prefix), manifest_text(run, config));
}

}  // namespace qirn_gen
