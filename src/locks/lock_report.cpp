#include "locks/lock_report.h"

#include <cstdio>

#include "graph/cycles.h"

void print_rc_decision(const LockDecision& decision) {
  note_verdict(decision.verdict != LockVerdict::Legal);
  if (decision.verdict == LockVerdict::Legal) {
    std::printf("no violation!\n");
    return;
  }
  if (decision.cycle) {
    print_cycle(*decision.cycle);
    state.lastCycle = *decision.cycle;
  }
  std::printf("\nhas violation!\n");
}

void print_scc_decision(const LockDecision& decision) {
  std::printf("ScC\n");
  std::printf(state.isBase == 0 ? "optimized algorithm begin ...\n"
                                : "baseline algorithm begin !...\n");
  if (decision.cycle) report_cycle(*decision.cycle);
  std::printf("%s\n",
              decision.verdict == LockVerdict::Legal ? "no cycle!" : "no path can be found!");
  note_verdict(decision.verdict != LockVerdict::Legal);
}
