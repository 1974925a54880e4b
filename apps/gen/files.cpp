#include "gen/files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
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
    case OpKind::Fence:
      return "fence\n";
    case OpKind::Rmw:
      return "rmw " + target + " " + std::to_string(op.read) + " " + std::to_string(op.value) +
             "\n";
  }
  return {};
}

// "T: M[A] := V" for a store, "T: M[A] == V" for a load, "T: sync" for a
// fence, "T: { M[A] == R; M[A] := W }" for an RMW; lock operations have no
// line.
std::string one_file_line(const GenOp& op, int32_t proc) {
  const std::string thread = std::to_string(proc) + ": ";
  const std::string cell = "M[" + std::to_string(op.target) + "]";
  switch (op.kind) {
    case OpKind::Load:
      return thread + cell + " == " + std::to_string(op.value) + "\n";
    case OpKind::Store:
      return thread + cell + " := " + std::to_string(op.value) + "\n";
    case OpKind::Fence:
      return thread + "sync\n";
    case OpKind::Rmw:
      return thread + "{ " + cell + " == " + std::to_string(op.read) + "; " + cell +
             " := " + std::to_string(op.value) + " }\n";
    case OpKind::Acquire:
    case OpKind::Release:
      break;
  }
  throw std::logic_error("one file: a lock operation has no line");
}

// " @ BEGIN:END": the operation's issue, and for a load or RMW the tick it
// read; a store or fence has no end. Issues are strictly increasing along a
// processor, so a load whose end lies before a later operation's begin read
// before that one was even issued.
std::string one_file_times(const GenOp& op) {
  const bool reads = op.kind == OpKind::Load || op.kind == OpKind::Rmw;
  return " @ " + std::to_string(op.issued) + ":" + (reads ? std::to_string(op.effect) : "");
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
  const std::string model = buffered(config) ? std::string(", ") + model_name(config.model) : "";
  std::string text = "# qirn-gen seed " + std::to_string(config.seed) + model + ": processor " +
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

bool has_lock_sessions(const GeneratedRun& run) {
  for (const Program& program : run.programs) {
    for (const GenOp& op : program) {
      if (is_lock_op(op)) return true;
    }
  }
  return false;
}

std::string one_file_text(const GeneratedRun& run) {
  const bool timed = run.model == MemoryModel::WMO;
  std::string text;
  for (size_t p = 0; p < run.programs.size(); ++p) {
    for (const GenOp& op : run.programs[p]) {
      text += one_file_line(op, static_cast<int32_t>(p));
      if (timed) text.insert(text.size() - 1, one_file_times(op));
    }
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
  if (!config.oneFile.empty()) write_file(config.oneFile, one_file_text(run));
}

}  // namespace qirn_gen
