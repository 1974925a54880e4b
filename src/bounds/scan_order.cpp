#include "bounds/scan_order.h"

#include <algorithm>

namespace {

// Processor p's lb at written row k, or 0 below its first written row. A row
// whose lb lies above its ub contradicts itself; it is taken to have seen
// completed no more than it saw issued.
int_t written_lb(int_t p, int_t k) {
  if (k < state.firstScanRow[p]) return 0;
  return std::min(state.scan.lb(k, p), state.scan.ub(k, p));
}

// The first written row whose lb lies above each operation of p. Rows are
// taken through the running maximum of lb, which first exceeds a sequence
// number at the same row as lb itself, and only moves up, so one pass over
// the rows serves the whole trace.
void processor_completion_scans(int_t p) {
  int_t row = 1;
  int_t highest = written_lb(p, 1);
  for (opnode& node : state.graph[p]) {
    while (row <= state.lastScanRow[p] && highest <= node.seq_num) {
      ++row;
      if (row <= state.lastScanRow[p]) highest = std::max(highest, written_lb(p, row));
    }
    state.completionScan[node.id] = row <= state.lastScanRow[p] ? row : 0;
  }
}

}  // namespace

void calculateCompletionScans() {
  state.completionScan.assign(static_cast<std::size_t>(state.nodeCount) + 1, 0);
  for (int_t p = 0; p < state.NPROCESSOR; ++p) processor_completion_scans(p);
}
