#include "graph/timed_order.h"

#include <algorithm>
#include <deque>

#include "bounds/scan_order.h"
#include "graph/strong_components.h"

namespace {

int_t lower_window(int_t q, int_t k, int_t p) {
  return state.graph[q][k].lpw[p];
}

// Where q's trace starts a new stretch along which lpw[p] does not decrease.
std::vector<int_t> stretch_starts(int_t p, int_t q) {
  std::vector<int_t> starts{0};
  for (int_t k = 1; k < state.procOpNum[q]; ++k) {
    if (lower_window(q, k, p) < lower_window(q, k - 1, p)) starts.push_back(k);
  }
  return starts;
}

}  // namespace

TimedOrderGraph::TimedOrderGraph(Time time, const std::vector<NodePair>& extra)
    : nodes_(nodes_by_id()) {
  nextHelper_ = static_cast<int_t>(nodes_.size());
  add_stored_arcs(extra);
  if (state.isBase == 0) add_time_order(time);
  graph_.finish(nextHelper_);
}

void TimedOrderGraph::add_stored_arcs(const std::vector<NodePair>& extra) {
  for (const opnode* node : nodes_) {
    for (const oparc* arc = node->pointTo; arc != nullptr; arc = arc->nxtarc) {
      graph_.add(node->id, arc->nptr->id);
    }
  }
  for (const NodePair& arc : extra) graph_.add(arc.first->id, arc.second->id);
}

void TimedOrderGraph::add_time_order(Time time) {
  const auto processors = static_cast<int_t>(state.graph.size());
  sharedChain_.resize(processors);
  for (int_t q = 0; q < processors; ++q) {
    sharedChain_[q] = add_chain(q, {0});
    if (state.procOpNum[q] > 0) graph_.add(state.sentinel.id, sharedChain_[q]);
  }
  for (int_t p = 0; p < processors; ++p) {
    for (int_t q = 0; q < processors; ++q) add_pair_order(p, q, time);
  }
}

// Helpers for q's operations, each leading to its operation and, within a
// stretch, to the next helper. Returns the id of the first.
int_t TimedOrderGraph::add_chain(int_t q, const std::vector<int_t>& stretchStart) {
  const int_t first = nextHelper_;
  const int_t count = state.procOpNum[q];
  nextHelper_ += count;
  auto nextStart = stretchStart.begin() + 1;
  for (int_t k = 0; k < count; ++k) {
    graph_.add(first + k, state.graph[q][k].id);
    if (nextStart != stretchStart.end() && *nextStart == k + 1) {
      ++nextStart;
    } else if (k + 1 < count) {
      graph_.add(first + k, first + k + 1);
    }
  }
  return first;
}

// Within each stretch of q, the operations that u of p is timed before begin
// at the first whose lpw[p] exceeds u's sequence number and that lies above
// u's upw[q]. The first bound only moves up as u goes down p's trace. The
// scans' order adds the suffix from the first operation of q not issued when
// u had completed; with a single stretch both suffixes share one arc.
void TimedOrderGraph::add_pair_order(int_t p, int_t q, Time time) {
  std::vector<int_t> starts = stretch_starts(p, q);
  const bool single = starts.size() == 1;
  const int_t chain = single ? sharedChain_[q] : add_chain(q, starts);
  std::vector<int_t> ends(starts.begin() + 1, starts.end());
  const int_t count = state.procOpNum[q];
  ends.push_back(count);
  std::vector<int_t> pointer = starts;
  for (const opnode& u : state.graph[p]) {
    const int_t scanned = time == Time::WindowsAndScans ? first_issued_after(&u, q) : count;
    for (std::size_t r = 0; r < starts.size(); ++r) {
      while (pointer[r] < ends[r] && lower_window(q, pointer[r], p) <= u.seq_num) ++pointer[r];
      int_t from = std::max(pointer[r], u.upw[q] + 1);
      if (single) from = std::min(from, scanned);
      if (from < ends[r]) graph_.add(u.id, chain + from);
    }
    if (!single && scanned < count) graph_.add(u.id, sharedChain_[q] + scanned);
  }
}

std::vector<opnode*> TimedOrderGraph::cycle_through(opnode* u) const {
  std::vector<int_t> parent(static_cast<std::size_t>(graph_.size()), -1);
  std::deque<int_t> queue{u->id};
  int_t last = -1;
  while (!queue.empty() && last < 0) {
    const int_t from = queue.front();
    queue.pop_front();
    for (const int_t* to = graph_.begin(from); to != graph_.end(from); ++to) {
      if (*to == u->id) {
        last = from;
        break;
      }
      if (parent[*to] >= 0) continue;
      parent[*to] = from;
      queue.push_back(*to);
    }
  }
  if (last < 0) return {};
  std::vector<opnode*> cycle{u};
  for (int_t id = last; id != u->id; id = parent[id]) {
    if (id < static_cast<int_t>(nodes_.size())) cycle.push_back(nodes_[id]);
  }
  cycle.push_back(u);
  std::reverse(cycle.begin(), cycle.end());
  return cycle;
}
