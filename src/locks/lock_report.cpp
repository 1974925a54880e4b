#include "locks/lock_report.h"

#include <cstdio>

#include "graph/cycles.h"

void print_rc_decision(const LockDecision& decision) {
  if (decision.verdict == LockVerdict::Legal) return print_verdict(false, "no violation!");
  if (decision.cycle) {
    print_cycle(*decision.cycle);
    state->lastCycle = *decision.cycle;
  }
  std::fprintf(state->out, "\n");
  print_verdict(true, "has violation!");
}

void print_scc_decision(const LockDecision& decision) {
  std::fprintf(state->out, "ScC\n");
  std::fprintf(state->out, state->isBase == 0 ? "optimized algorithm begin ...\n"
                                              : "baseline algorithm begin !...\n");
  if (decision.cycle) report_cycle(*decision.cycle);
  const bool violation = decision.verdict != LockVerdict::Legal;
  print_verdict(violation, violation ? "no path can be found!" : "no cycle!");
}
