#include "graph/timed_order.h"

#include <algorithm>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "graph/arc_store.h"
#include "graph/strong_components.h"

namespace {

// The time order from processor p's operations into processor q's: q's
// lpw[p] values, and the stretches along which they do not decrease, each
// with its position for the operation of p at hand.
struct PairOrder {
  const int_t* lower;
  std::vector<int_t> starts{0};
  std::vector<int_t> ends;
  std::vector<int_t> pointer;
  int_t chain = 0;

  PairOrder(const int_t* lowerOfQ, int_t count) : lower(lowerOfQ) {
    for (int_t k = 1; k < count; ++k) {
      if (lower[k] < lower[k - 1]) starts.push_back(k);
    }
    ends.assign(starts.begin() + 1, starts.end());
    ends.push_back(count);
    pointer = starts;
  }

  bool single() const { return starts.size() == 1; }
};

// Processors whose lower bounds are copied out at a time: 16 bounds fill one
// cache line of every operation's window.
constexpr std::size_t kProcessorsPerCopy = 16;

// The lpw[p] of every operation, by id, for each p from `firstP` up to
// kProcessorsPerCopy further, one p after another in `lower`: the time order
// reads one p at a time, and the windows keep all p of an operation together.
// The copy goes a block of ids at a time, so that each block's windows stay
// in cache while every p's run of the block is written out whole; it covers
// a few processors at a time so as not to hold all of them at once.
void copy_lower_bounds(const std::vector<opnode*>& nodes, std::size_t firstP,
                       std::vector<int_t>& lower) {
  constexpr std::size_t kBlock = 16;
  const std::size_t lastP = std::min(firstP + kProcessorsPerCopy, state->graph.size());
  const auto count = static_cast<std::size_t>(state->nodeCount);
  lower.resize((lastP - firstP) * count);
  for (std::size_t first = 0; first < count; first += kBlock) {
    const std::size_t last = std::min(first + kBlock, count);
    for (std::size_t p = firstP; p < lastP; ++p) {
      int_t* column = lower.data() + (p - firstP) * count;
      for (std::size_t id = first; id < last; ++id) column[id] = nodes[id]->lpw[p];
    }
  }
}

}  // namespace

TimedOrderGraph::TimedOrderGraph(Time time, const std::vector<NodePair>& extra)
    : nodes_(nodes_by_id()) {
  nextHelper_ = static_cast<int_t>(nodes_.size());
  add_arcs(extra);
  if (state->isBase == 0) add_time_order(time);
  graph_.finish(nextHelper_);
}

void TimedOrderGraph::add_arcs(const std::vector<NodePair>& extra) {
  add_stored_arcs(graph_, nodes_);
  for (const NodePair& arc : extra) graph_.add(arc.first->id, arc.second->id);
}

void TimedOrderGraph::add_time_order(Time time) {
  const auto processors = static_cast<int_t>(state->graph.size());
  sharedChain_.resize(processors);
  for (int_t q = 0; q < processors; ++q) {
    sharedChain_[q] = add_chain(q, {0});
    if (state->procOpNum[q] > 0) graph_.add(state->sentinel.id, sharedChain_[q]);
  }
  std::vector<int_t> lower;
  for (int_t p = 0; p < processors; ++p) {
    const std::size_t inCopy = static_cast<std::size_t>(p) % kProcessorsPerCopy;
    if (inCopy == 0) copy_lower_bounds(nodes_, static_cast<std::size_t>(p), lower);
    add_processor_order(p, time, lower.data() + inCopy * state->nodeCount);
  }
}

// Helpers for q's operations, each leading to its operation and, within a
// stretch, to the next helper. Returns the id of the first.
int_t TimedOrderGraph::add_chain(int_t q, const std::vector<int_t>& stretchStart) {
  const int_t first = nextHelper_;
  const int_t count = state->procOpNum[q];
  nextHelper_ += count;
  auto nextStart = stretchStart.begin() + 1;
  for (int_t k = 0; k < count; ++k) {
    graph_.add(first + k, state->graph[q][k].id);
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
void TimedOrderGraph::add_processor_order(int_t p, Time time, const int_t* lowerOfP) {
  const auto processors = static_cast<int_t>(state->graph.size());
  std::vector<PairOrder> pairs;
  pairs.reserve(processors);
  int_t firstOfQ = 0;
  for (int_t q = 0; q < processors; ++q) {
    pairs.emplace_back(lowerOfP + firstOfQ, state->procOpNum[q]);
    firstOfQ += state->procOpNum[q];
    PairOrder& pair = pairs.back();
    pair.chain = pair.single() ? sharedChain_[q] : add_chain(q, pair.starts);
  }
  // The single arc of u into a shared chain is held back until u's successor
  // in p is known: when u has a stored arc to that successor and the
  // successor enters the chain at the same place, u reaches the chain through
  // it, and u's own arc would add nothing. (Time order to the successor does
  // not count: it may itself run through the arc left out.)
  std::vector<int_t> held(processors, -1);
  const opnode* previous = nullptr;
  for (const opnode& u : state->graph[p]) {
    const bool follows = previous != nullptr && list_holds(previous, &u, LO);
    for (int_t q = 0; q < processors; ++q) {
      PairOrder& pair = pairs[q];
      const int_t count = state->procOpNum[q];
      const int_t scanned = time == Time::WindowsAndScans ? first_issued_after(&u, q) : count;
      for (std::size_t r = 0; r < pair.starts.size(); ++r) {
        int_t& at = pair.pointer[r];
        while (at < pair.ends[r] && pair.lower[at] <= u.seq_num) ++at;
        int_t from = std::max(at, u.upw[q] + 1);
        if (!pair.single()) {
          if (from < pair.ends[r]) graph_.add(u.id, pair.chain + from);
          continue;
        }
        from = std::min(from, scanned);
        if (held[q] >= 0 && !(follows && held[q] == from)) {
          graph_.add(previous->id, pair.chain + held[q]);
        }
        held[q] = from < count ? from : -1;
      }
      if (!pair.single() && scanned < count) graph_.add(u.id, sharedChain_[q] + scanned);
    }
    previous = &u;
  }
  for (int_t q = 0; q < processors; ++q) {
    if (held[q] >= 0) graph_.add(previous->id, pairs[q].chain + held[q]);
  }
}
