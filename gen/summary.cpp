#include "gen/summary.h"

namespace qirn_gen {
namespace {

std::string counted(size_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

std::string summary_text(const GeneratedRun& run, const GenConfig& config) {
  size_t operations = 0;
  size_t sessions = 0;
  for (const Program& program : run.programs) {
    operations += program.size();
    for (const GenOp& op : program) sessions += op.kind == OpKind::Acquire ? 1 : 0;
  }
  std::string text = "seed " + std::to_string(config.seed) + ": " +
                     counted(run.programs.size(), "processor") + ", " +
                     counted(operations, "operation") + ", " + counted(sessions, "lock session") +
                     ", " + counted(run.scans.size(), "scan") + ", " +
                     counted(run.injected.size(), "injected violation") + "\n";
  for (const InjectedLoad& load : run.injected) {
    const GenOp& op = run.programs[load.proc][load.seq];
    text += "injected: processor " + std::to_string(load.proc) + " operation " +
            std::to_string(load.seq) + " loads " + std::to_string(load.stale) + " from address " +
            std::to_string(op.target) + " where memory held " + std::to_string(load.faithful) +
            "\n";
  }
  return text;
}

}  // namespace qirn_gen
