#include "bounds/scan_order.h"

#include <algorithm>
#include <vector>

namespace {

// Processor p's lb at written row k, or 0 below its first written row. A row
// whose lb lies above its ub contradicts itself; it is taken to have seen
// completed no more than it saw issued.
int_t written_lb(int_t p, int_t k) {
  if (k < state->firstScanRow[p]) return 0;
  return std::min(state->scan.lb(k, p), state->scan.ub(k, p));
}

// The first written row whose lb lies above each operation of every
// processor. A processor's rows are taken through the running maximum of lb,
// which first exceeds a sequence number at the same row as lb itself and
// only moves up, so each row settles the operations just below it. Rows go
// outer, processors inner, reading the table in its own order.
void completion_scans() {
  const auto processors = static_cast<std::size_t>(state->NPROCESSOR);
  std::vector<int_t> highest(processors, 0);
  std::vector<int_t> next(processors, 0);
  int_t deepest = 0;
  for (int_t p = 0; p < state->NPROCESSOR; ++p) deepest = std::max(deepest, state->lastScanRow[p]);
  for (int_t k = 1; k <= deepest; ++k) {
    for (int_t p = 0; p < state->NPROCESSOR; ++p) {
      if (k > state->lastScanRow[p]) continue;
      highest[p] = std::max(highest[p], written_lb(p, k));
      for (; next[p] < state->procOpNum[p] && next[p] < highest[p]; ++next[p]) {
        state->completionScan[node_at(p, next[p])->id] = k;
      }
    }
  }
}

}  // namespace

void calculateCompletionScans() {
  state->completionScan.assign(static_cast<std::size_t>(state->nodeCount) + 1, 0);
  completion_scans();
}
