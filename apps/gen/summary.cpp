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

std::string rmw_line(const GeneratedRun& run, const RmwViolation& violation) {
  const InjectedLoad& rmw = violation.load;
  return "injected: processor " + std::to_string(rmw.proc) + " operation " +
         std::to_string(rmw.seq) + " is an RMW that reads " + std::to_string(rmw.stale) +
         " from address " + std::to_string(run.programs[rmw.proc][rmw.seq].target) +
         " where memory held " + std::to_string(rmw.faithful) + ", as the RMW of processor " +
         std::to_string(violation.pairProc) + " operation " + std::to_string(violation.pairSeq) +
         " did";
}

// Operations, lock sessions, fences and RMWs over all processors.
struct Counts {
  size_t operations = 0;
  size_t sessions = 0;
  size_t fences = 0;
  size_t rmws = 0;
};

Counts count_ops(const GeneratedRun& run) {
  Counts counts;
  for (const Program& program : run.programs) {
    counts.operations += program.size();
    for (const GenOp& op : program) {
      counts.sessions += op.kind == OpKind::Acquire ? 1 : 0;
      counts.fences += op.kind == OpKind::Fence ? 1 : 0;
      counts.rmws += op.kind == OpKind::Rmw ? 1 : 0;
    }
  }
  return counts;
}

}  // namespace

std::string summary_text(const GeneratedRun& run, const GenConfig& config) {
  const Counts counts = count_ops(run);
  const std::string model = buffered(config) ? std::string(", ") + model_name(config.model) : "";
  const std::string fenced = config.fences > 0 ? counted(counts.fences, "fence") + ", " : "";
  const std::string rmws = asks_rmw(config) ? counted(counts.rmws, "RMW") + ", " : "";
  const size_t injected =
      run.injected.size() + run.lockViolations.size() + run.rmwViolations.size();
  std::string text =
      "seed " + std::to_string(config.seed) + model + ": " +
      counted(run.programs.size(), "processor") + ", " + counted(counts.operations, "operation") +
      ", " + counted(counts.sessions, "lock session") + ", " + fenced + rmws +
      counted(run.scans.size(), "scan") + ", " + counted(injected, "injected violation") + "\n";
  for (const InjectedLoad& load : run.injected) text += load_line(run, load) + "\n";
  for (const LockViolation& violation : run.lockViolations) {
    text += lock_line(run, violation) + "\n";
  }
  for (const RmwViolation& violation : run.rmwViolations) text += rmw_line(run, violation) + "\n";
  return text;
}

}  // namespace qirn_gen
