#include "bounds/windows.h"

#include <algorithm>
#include <vector>

namespace {

// One candidate per processor t, the same for every operation of a range.
using Candidates = std::vector<int_t>;

int_t operations(int_t q) {
  return state.procOpNum[q];
}
bool has_row(int_t q, int_t s) {
  return s >= 1 && s <= state.numOfScan[q];
}
int_t LB(int_t q, int_t s) {
  return state.scan[s].lb[q];
}
int_t UB(int_t q, int_t s) {
  return state.scan[s].ub[q];
}

// Upper candidates: t's upper bound at `row`, or past t's end without it.
// The candidates of one range are filled into storage kept for the next.
const Candidates& upper_at(int_t row) {
  static Candidates upper;
  upper.resize(static_cast<std::size_t>(state.NPROCESSOR));
  for (int_t t = 0; t < state.NPROCESSOR; ++t) {
    upper[t] = has_row(t, row) ? UB(t, row) : operations(t);
  }
  return upper;
}

// Lower candidates: the operation before t's lower bound at `row`, or t's
// last operation without it. `unrecorded` gives 0 where t has the row: the
// processor whose window is computed had no record at that scan.
const Candidates& lower_at(int_t row, bool unrecorded = false) {
  static Candidates lower;
  lower.resize(static_cast<std::size_t>(state.NPROCESSOR));
  for (int_t t = 0; t < state.NPROCESSOR; ++t) {
    if (!has_row(t, row)) {
      lower[t] = operations(t) - 1;
    } else {
      lower[t] = unrecorded ? 0 : LB(t, row) - 1;
    }
  }
  return lower;
}

// Operations [from, to) of processor i, clipped to those that exist, get
// their windows set outright.
void set_windows(int_t i, int_t from, int_t to, const Candidates& upper) {
  const int_t end = std::min(to, operations(i));
  for (int_t j = std::max(from, 0); j < end; ++j) {
    opnode& node = state.graph[i][j];
    for (int_t t = 0; t < state.NPROCESSOR; ++t) {
      node.lpw[t] = 0;
      node.upw[t] = upper[t];
    }
  }
}

// Operations [from, to) of processor i, clipped to those that exist, widen
// their windows to cover the candidates.
void widen_windows(int_t i, int_t from, int_t to, const Candidates& lower,
                   const Candidates& upper) {
  const int_t end = std::min(to, operations(i));
  for (int_t j = std::max(from, 0); j < end; ++j) {
    opnode& node = state.graph[i][j];
    for (int_t t = 0; t < state.NPROCESSOR; ++t) {
      node.lpw[t] = node.lpw[t] == -3 ? lower[t] : std::min(node.lpw[t], lower[t]);
      node.upw[t] = std::max(node.upw[t], upper[t]);
    }
  }
}

// Processor i had neither completed nor issued anything at scan k - 1.
bool unrecorded_before(int_t i, int_t k) {
  return LB(i, k - 1) == 0 && UB(i, k - 1) == 0 && LB(i, k) > 0;
}

void processor_windows(int_t i) {
  const int_t m = std::min(state.numOfScan[i], state.NSCAN);
  set_windows(i, 0, LB(i, 1), upper_at(1));
  set_windows(i, LB(i, 1), UB(i, 1), upper_at(2));
  for (int_t k = 2; k <= m; ++k) {
    widen_windows(i, UB(i, k - 1), LB(i, k), lower_at(k - 1, unrecorded_before(i, k)), upper_at(k));
    widen_windows(i, LB(i, k), UB(i, k), lower_at(k - 1), upper_at(k + 1));
  }
  // K is the first scan of at least 2 beyond the processor's last row.
  const int_t K = std::max(2, m + 1);
  widen_windows(i, UB(i, K - 1), operations(i), lower_at(K - 1), upper_at(K + 1));
}

// The candidate -1, and entries no range reached, become 0.
void clamp_lower_windows() {
  for (auto& nodes : state.graph) {
    for (opnode& node : nodes) {
      for (int_t t = 0; t < state.NPROCESSOR; ++t) node.lpw[t] = std::max(node.lpw[t], 0);
    }
  }
}

}  // namespace

void calculatePendingWindow() {
  for (int_t i = 0; i < state.NPROCESSOR; ++i) processor_windows(i);
  clamp_lower_windows();
}
