#include "graph/shortest_cycle.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "graph/skip_links.h"

// Which operations x is timed before. Under the windows, x of processor p is
// timed before v of q when x.seq_num < v.lpw[p] and x.upw[q] < v.seq_num.
// Along a stretch of q's trace where lpw[p] does not decrease, the first
// condition holds on a suffix of the stretch, and the second on a suffix of
// the whole trace; so x is timed before one interval of each stretch, found
// by bisection. The scans' order adds the suffix of q from the first
// operation not yet issued when x had completed. Those intervals, taken in
// order of their starts and skipping what is met already, give exactly the
// operations the plain test accepts, in sequence order, at a cost per
// interval rather than per operation.

namespace {

using Interval = std::pair<int_t, int_t>;  // sequence numbers [first, end)

// Operations not yet met: the skip links of the operations, and the
// sentinel on its own.
class Unmet {
 public:
  int_t next(int_t q, int_t k) { return links_.nearest(q, k); }

  // Meets v; false when it was met before.
  bool take(const opnode* v) {
    if (v == &state->sentinel) return !std::exchange(sentinelMet_, true);
    if (!links_.contains(v->proc_num, v->seq_num)) return false;
    links_.remove(v->proc_num, v->seq_num);
    return true;
  }

 private:
  SkipLinks links_{SkipLinks::Direction::Up};
  bool sentinelMet_ = false;
};

// The first sequence number of every stretch of q along which lpw[p] does
// not decrease, computed when a pair is first asked for.
class Stretches {
 public:
  const std::vector<int_t>& of(int_t p, int_t q) {
    const auto key =
        static_cast<std::int64_t>(p) * static_cast<std::int64_t>(state->graph.size()) + q;
    auto [entry, added] = starts_.try_emplace(key);
    if (added) {
      const std::vector<opnode>& operations = state->graph[q];
      for (std::size_t k = 0; k < operations.size(); ++k) {
        if (k == 0 || operations[k].lpw[p] < operations[k - 1].lpw[p]) {
          entry->second.push_back(static_cast<int_t>(k));
        }
      }
    }
    return entry->second;
  }

 private:
  std::unordered_map<std::int64_t, std::vector<int_t>> starts_;
};

class CycleSearch {
 public:
  CycleSearch(opnode* u, bool scans)
      : u_(u), scans_(scans), parent_(static_cast<std::size_t>(state->nodeCount) + 1) {}

  std::vector<opnode*> run() {
    unmet_.take(u_);
    queue_.push_back(u_);
    for (std::size_t head = 0; head < queue_.size(); ++head) {
      opnode* x = queue_[head];
      if (leads_to_start(x)) return cycle_closed_at(x);
      meet_successors(x);
    }
    return {};
  }

 private:
  bool leads_to_start(const opnode* x) const {
    for (const oparc* arc = x->pointTo; arc != nullptr; arc = arc->nxtarc) {
      if (arc->nptr == u_) return true;
    }
    return check_TO(x, u_) != 0 || (scans_ && scan_before(x, u_) != 0);
  }

  void meet(opnode* v, opnode* from) {
    if (!unmet_.take(v)) return;
    parent_[v->id] = from;
    queue_.push_back(v);
  }

  void meet_successors(opnode* x) {
    for (const oparc* arc = x->pointTo; arc != nullptr; arc = arc->nxtarc) meet(arc->nptr, x);
    for (int_t q = 0; q < static_cast<int_t>(state->graph.size()); ++q) {
      timed_intervals(x, q);
      std::sort(intervals_.begin(), intervals_.end());
      for (const auto& [first, end] : intervals_) {
        for (int_t k = unmet_.next(q, first); k < end; k = unmet_.next(q, k)) {
          meet(&state->graph[q][k], x);
        }
      }
    }
  }

  // The intervals of q's sequence numbers that x is timed before.
  void timed_intervals(const opnode* x, int_t q) {
    intervals_.clear();
    const auto count = static_cast<int_t>(state->graph[q].size());
    if (x == &state->sentinel) {
      if (state->isBase == 0) intervals_.emplace_back(0, count);  // timed before every operation
      return;
    }
    window_intervals(x, q, count);
    const int_t scanned = scans_ ? first_issued_after(x, q) : count;
    if (scanned < count) intervals_.emplace_back(scanned, count);
  }

  void window_intervals(const opnode* x, int_t q, int_t count) {
    if (state->isBase == 1) return;
    const int_t p = x->proc_num;
    const std::vector<opnode>& operations = state->graph[q];
    const std::vector<int_t>& starts = stretches_.of(p, q);
    for (std::size_t r = 0; r < starts.size(); ++r) {
      const int_t end = r + 1 < starts.size() ? starts[r + 1] : count;
      const auto later =
          std::partition_point(operations.begin() + starts[r], operations.begin() + end,
                               [&](const opnode& v) { return v.lpw[p] <= x->seq_num; });
      const int_t first = std::max(static_cast<int_t>(later - operations.begin()), x->upw[q] + 1);
      if (first < end) intervals_.emplace_back(first, end);
    }
  }

  std::vector<opnode*> cycle_closed_at(opnode* last) const {
    std::vector<opnode*> cycle{u_};
    for (opnode* v = last; v != u_; v = parent_[v->id]) cycle.push_back(v);
    cycle.push_back(u_);
    std::reverse(cycle.begin(), cycle.end());
    return cycle;
  }

  opnode* u_;
  bool scans_;
  Unmet unmet_;
  Stretches stretches_;
  std::vector<opnode*> parent_;
  std::vector<opnode*> queue_;
  std::vector<Interval> intervals_;
};

}  // namespace

std::vector<opnode*> shortest_cycle_through(opnode* u, bool scans) {
  return CycleSearch(u, scans).run();
}
