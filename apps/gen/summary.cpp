#include "gen/summary.h"

namespace qirn_gen {
namespace {

std::string counted(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::string load_line(const GeneratedRun& run, const InjectedLoad& load) {
  const GenOp& op = run.programs[load.proc][load.seq];
  return "injected: processor " + std::to_string(load.proc) + " operation " +
         std::to_string(load.seq) + " loads " + std::to_string(load.stale) + " from address " +
         std::to_string(op.target) +
         (op.forwarded ? " where its store buffer held " : " where memory held ") +
         std::to_string(load.faithful);
}

std::string lock_line(const GeneratedRun& run, const LockViolation& violation) {
  const char* what = violation.kind == LockViolationKind::StaleSession
                         ? ", a stale read in a session of lock "
                         : ", the middle of a session of lock ";
  return load_line(run, violation.load) + what + std::to_string(violation.lock) + " (processor " +
         std::to_string(violation.writer) + " overwrote it at operation " +
         std::to_string(violation.overwrite) + ")";
}

}  // namespace

std::string summary_text(const GeneratedRun& run, const GenConfig& config) {
  size_t operations = 0;
  size_t sessions = 0;
  size_t fences = 0;
  for (const Program& program : run.programs) {
    operations += program.size();
    for (const GenOp& op : program) {
      sessions += op.kind == OpKind::Acquire ? 1 : 0;
      fences += op.kind == OpKind::Fence ? 1 : 0;
    }
  }
  const std::string model = buffered(config) ? std::string(", ") + model_name(config.model) : "";
  const std::string fenced = config.fences > 0 ? counted(fences, "fence") + ", " : "";
  std::string text =
      "seed " + std::to_string(config.seed) + model + ": " +
      counted(run.programs.size(), "processor") + ", " + counted(operations, "operation") + ", " +
      counted(sessions, "lock session") + ", " + fenced + counted(run.scans.size(), "scan") + ", " +
      counted(run.injected.size() + run.lockViolations.size(), "injected violation") + "\n";
  for (const InjectedLoad& load : run.injected) text += load_line(run, load) + "\n";
  for (const LockViolation& violation : run.lockViolations) {
    text += lock_line(run, violation) + "\n";
  }
  return text;
}

}  // namespace qirn_gen
