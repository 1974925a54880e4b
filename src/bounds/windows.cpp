#include "bounds/windows.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "run/workers.h"

namespace {

// One candidate per processor t, the same for every operation of a range.
using Candidates = std::vector<int_t>;

int_t operations(int_t q) {
  return state->procOpNum[q];
}
bool has_row(int_t q, int_t s) {
  return s >= 1 && s <= state->numOfScan[q];
}
int_t LB(int_t q, int_t s) {
  return state->scan.lb(s, q);
}
int_t UB(int_t q, int_t s) {
  return state->scan.ub(s, q);
}

// Upper candidates: t's upper bound at `row`, or past t's end without it.
// The candidates of one range are filled into storage kept for the next.
const Candidates& upper_at(int_t row) {
  thread_local Candidates upper;
  upper.resize(static_cast<std::size_t>(state->NPROCESSOR));
  for (int_t t = 0; t < state->NPROCESSOR; ++t) {
    upper[t] = has_row(t, row) ? UB(t, row) : operations(t);
  }
  return upper;
}

// Lower candidates: the operation before t's lower bound at `row`, or t's
// last operation without it. `unrecorded` gives 0 where t has the row: the
// processor whose window is computed had no record at that scan.
const Candidates& lower_at(int_t row, bool unrecorded = false) {
  thread_local Candidates lower;
  lower.resize(static_cast<std::size_t>(state->NPROCESSOR));
  for (int_t t = 0; t < state->NPROCESSOR; ++t) {
    if (!has_row(t, row)) {
      lower[t] = operations(t) - 1;
    } else {
      lower[t] = unrecorded ? 0 : LB(t, row) - 1;
    }
  }
  return lower;
}

// Operations [from, end) of one processor.
struct OpRange {
  int_t from;
  int_t end;
};

// Operations [from, to) of processor i, clipped to those that exist.
OpRange existing(int_t i, int_t from, int_t to) {
  return {std::max(from, 0), std::min(to, operations(i))};
}

// The operations of `range` get their windows set outright to the upper
// candidates of row `upper_row`. Most ranges between two scans are empty, so
// the candidates are computed only for a range that holds an operation.
void set_windows(int_t i, OpRange range, int_t upper_row) {
  if (range.from >= range.end) return;
  const Candidates& upper = upper_at(upper_row);
  for (int_t j = range.from; j < range.end; ++j) {
    opnode& node = state->graph[i][j];
    for (int_t t = 0; t < state->NPROCESSOR; ++t) {
      node.lpw[t] = 0;
      node.upw[t] = upper[t];
    }
  }
}

// The operations of `range` widen their windows to cover the lower
// candidates of row `lower_row` and the upper candidates of `upper_row`.
void widen_windows(int_t i, OpRange range, int_t lower_row, bool unrecorded, int_t upper_row) {
  if (range.from >= range.end) return;
  const Candidates& lower = lower_at(lower_row, unrecorded);
  const Candidates& upper = upper_at(upper_row);
  for (int_t j = range.from; j < range.end; ++j) {
    opnode& node = state->graph[i][j];
    for (int_t t = 0; t < state->NPROCESSOR; ++t) {
      node.lpw[t] = node.lpw[t] == -3 ? lower[t] : std::min(node.lpw[t], lower[t]);
      node.upw[t] = std::max(node.upw[t], upper[t]);
    }
  }
}

// Processor i had neither completed nor issued anything at scan k - 1.
bool unrecorded_before(int_t i, int_t k) {
  return LB(i, k - 1) == 0 && UB(i, k - 1) == 0 && LB(i, k) > 0;
}

// The rows of processor i that count.
int_t rows_of(int_t i) {
  return std::min(state->numOfScan[i], state->NSCAN);
}

template <typename Set>
void first_ranges(int_t i, Set set) {
  set(existing(i, 0, LB(i, 1)), 1);
  set(existing(i, LB(i, 1), UB(i, 1)), 2);
}

// The ranges at scan k, for 2 <= k <= rows_of(i).
template <typename Widen>
void ranges_at(int_t i, int_t k, Widen widen) {
  widen(existing(i, UB(i, k - 1), LB(i, k)), k - 1, unrecorded_before(i, k), k);
  widen(existing(i, LB(i, k), UB(i, k)), k - 1, false, k + 1);
}

template <typename Widen>
void last_range(int_t i, Widen widen) {
  // K is the first scan of at least 2 beyond the processor's last row.
  const int_t K = std::max(2, rows_of(i) + 1);
  widen(existing(i, UB(i, K - 1), operations(i)), K - 1, false, K + 1);
}

// Names, in order, the ranges of processor i's operations and the rows whose
// candidates they take: set(range, upper row) for the two ranges up to the
// first scan, then widen(range, lower row, unrecorded, upper row).
template <typename Set, typename Widen>
void each_range(int_t i, Set set, Widen widen) {
  first_ranges(i, set);
  for (int_t k = 2; k <= rows_of(i); ++k) ranges_at(i, k, widen);
  last_range(i, widen);
}

void processor_windows(int_t i) {
  each_range(
      i, [i](OpRange range, int_t upper_row) { set_windows(i, range, upper_row); },
      [i](OpRange range, int_t lower_row, bool unrecorded, int_t upper_row) {
        widen_windows(i, range, lower_row, unrecorded, upper_row);
      });
}

// The shortcut. Every range takes its candidates from whole rows, and a
// window is the elementwise minimum (lower) and maximum (upper) of the
// candidates of the ranges that hold the operation, in any order. When no
// processor's lb or ub column decreases over its rows, each processor t's
// lower candidate at row r (lb - 1 with the row, its last operation without
// it, which is never smaller) and upper candidate (ub with the row, its
// operation count without it) never decrease with r either, since rows are
// written from 1 to the processor's scan count and bounds never exceed the
// operation count. The minimum over a set of rows is then the candidate of
// the smallest row and the maximum that of the largest, for every t at once.
// Ranges taken while the computed processor was unrecorded have their own
// lower candidate (0 with the row, the last operation without it), which is
// likewise smallest at the smallest such row. So it is enough to note, for
// each operation, these extreme rows, and to read the window off them once.

constexpr int_t kNoRow = std::numeric_limits<int_t>::max();

// The rows whose candidates reach one operation; 0 and kNoRow mean none.
struct RowsReached {
  int_t lower = kNoRow;
  int_t unrecorded = kNoRow;
  int_t upper = 0;
  bool set = false;
};

// Row by row, as the table is stored.
bool columns_never_decrease() {
  for (int_t r = 2; r <= state->NSCAN; ++r) {
    for (int_t t = 0; t < state->NPROCESSOR; ++t) {
      if (r <= state->numOfScan[t] && (LB(t, r) < LB(t, r - 1) || UB(t, r) < UB(t, r - 1))) {
        return false;
      }
    }
  }
  return true;
}

// The extreme rows of every operation of every processor. Their order does
// not matter, so the ranges are taken scan by scan across processors, which
// reads the table row by row as it is stored.
std::vector<std::vector<RowsReached>> rows_reaching() {
  std::vector<std::vector<RowsReached>> reached(static_cast<std::size_t>(state->NPROCESSOR));
  int_t deepest = 0;
  for (int_t i = 0; i < state->NPROCESSOR; ++i) {
    reached[i].resize(static_cast<std::size_t>(operations(i)));
    deepest = std::max(deepest, rows_of(i));
  }
  const auto set = [&](int_t i) {
    return [&reached, i](OpRange range, int_t upper_row) {
      for (int_t j = range.from; j < range.end; ++j) {
        reached[i][j].set = true;
        reached[i][j].upper = std::max(reached[i][j].upper, upper_row);
      }
    };
  };
  const auto widen = [&](int_t i) {
    return [&reached, i](OpRange range, int_t lower_row, bool unrecorded, int_t upper_row) {
      for (int_t j = range.from; j < range.end; ++j) {
        int_t& lower = unrecorded ? reached[i][j].unrecorded : reached[i][j].lower;
        lower = std::min(lower, lower_row);
        reached[i][j].upper = std::max(reached[i][j].upper, upper_row);
      }
    };
  };
  for (int_t i = 0; i < state->NPROCESSOR; ++i) first_ranges(i, set(i));
  for (int_t k = 2; k <= deepest; ++k) {
    for (int_t i = 0; i < state->NPROCESSOR; ++i) {
      if (k <= rows_of(i)) ranges_at(i, k, widen(i));
    }
  }
  for (int_t i = 0; i < state->NPROCESSOR; ++i) last_range(i, widen(i));
  return reached;
}

// The window of an operation that `rows` reach. Lower candidates below 0
// become 0, as does the lower end where nothing reached the operation.
void read_window_off_rows(opnode& node, const RowsReached& rows) {
  for (int_t t = 0; t < state->NPROCESSOR; ++t) {
    int_t lower = rows.set ? 0 : kNoRow;
    if (rows.lower != kNoRow) {
      lower = std::min(lower, has_row(t, rows.lower) ? LB(t, rows.lower) - 1 : operations(t) - 1);
    }
    if (rows.unrecorded != kNoRow) {
      lower = std::min(lower, has_row(t, rows.unrecorded) ? 0 : operations(t) - 1);
    }
    node.lpw[t] = lower == kNoRow ? 0 : std::max(lower, 0);
    if (rows.upper != 0) node.upw[t] = has_row(t, rows.upper) ? UB(t, rows.upper) : operations(t);
  }
}

void windows_from_rows() {
  const std::vector<std::vector<RowsReached>> reached = rows_reaching();
  for_each_processor([&](int_t i) {
    for (int_t j = 0; j < operations(i); ++j) {
      read_window_off_rows(state->graph[i][j], reached[i][j]);
    }
  });
}

// The candidate -1, and entries no range reached, become 0.
void clamp_lower_windows() {
  for (auto& nodes : state->graph) {
    for (opnode& node : nodes) {
      for (int_t t = 0; t < state->NPROCESSOR; ++t) node.lpw[t] = std::max(node.lpw[t], 0);
    }
  }
}

}  // namespace

void calculatePendingWindow() {
  if (!columns_never_decrease()) {
    pending_windows_range_by_range();
    return;
  }
  windows_from_rows();
}

void pending_windows_range_by_range() {
  for_each_processor(processor_windows);
  clamp_lower_windows();
}
