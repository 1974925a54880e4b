#include "graph/timed_pairs.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// An operation a of p is timed before b of q when a.seq_num < b.lpw[p] and
// a.upw[q] < b.seq_num. With the smallest upw[q] among p's first k
// operations at hand, each b is settled by one lookup.
bool orders_pair(int_t p, int_t q, std::vector<int_t>& lowest_upw) {
  const auto& before = state->graph[p];
  lowest_upw.assign(before.size() + 1, std::numeric_limits<int_t>::max());
  for (std::size_t k = 0; k < before.size(); ++k) {
    lowest_upw[k + 1] = std::min(lowest_upw[k], before[k].upw[q]);
  }
  const auto count = static_cast<int_t>(before.size());
  for (const opnode& b : state->graph[q]) {
    const int_t below = std::clamp(b.lpw[p], 0, count);
    if (lowest_upw[below] < b.seq_num) return true;
  }
  return false;
}

}  // namespace

bool any_timed_pair() {
  if (state->isBase == 1) return false;
  std::vector<int_t> lowest_upw;
  const auto processors = static_cast<int_t>(state->graph.size());
  for (int_t p = 0; p < processors; ++p) {
    for (int_t q = 0; q < processors; ++q) {
      if (orders_pair(p, q, lowest_upw)) return true;
    }
  }
  return false;
}
