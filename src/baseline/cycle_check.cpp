#include "baseline/cycle_check.h"

#include <cstdio>
#include <unordered_map>
#include <vector>

#include "baseline/order_index.h"
#include "derive/program_order.h"
#include "graph/arc_store.h"
#include "graph/marks.h"
#include "run/diagnostics.h"
#include "trace/read_from.h"

namespace {

// The inferred arcs of every node in insertion order. Each one joins two
// operations on the same address and ends at a store, so a bit per store of
// that address tells whether the arc is present.
class InferredArcs {
 public:
  InferredArcs()
      : targets_(state.nodeCount + 1), present_(state.nodeCount + 1), rank_(targets_.size()) {
    for (const auto& operations : state.graph) {
      for (const opnode& node : operations) {
        if (node.optype == STORE) rank_[node.id] = storesOfAddr_[node.addr]++;
      }
    }
  }

  bool insert(const opnode* from, const opnode* to) {
    std::vector<std::uint64_t>& bits = present_[from->id];
    if (bits.empty()) bits.assign((storesOfAddr_[to->addr] + 63) / 64, 0);
    const int_t r = rank_[to->id];
    std::uint64_t& word = bits[r >> 6];
    const std::uint64_t bit = std::uint64_t{1} << (r & 63);
    if ((word & bit) != 0) return false;
    word |= bit;
    targets_[from->id].push_back(to->id);
    return true;
  }

  const std::vector<int_t>& of(const opnode* u) const { return targets_[u->id]; }

 private:
  std::vector<std::vector<int_t>> targets_;
  std::vector<std::vector<std::uint64_t>> present_;
  std::vector<int_t> rank_;
  std::unordered_map<int_t, int_t> storesOfAddr_;
};

// The stores of every processor by address, in sequence order.
class StoresByAddr {
 public:
  StoresByAddr() : byProcessor_(state.graph.size()) {
    for (std::size_t p = 0; p < state.graph.size(); ++p) {
      for (opnode& node : state.graph[p]) {
        if (node.optype == STORE) byProcessor_[p][node.addr].push_back(&node);
      }
    }
  }

  // Calls `visit` on every store to `addr`, processor by processor; returns
  // how many calls answered true.
  template <typename Visit>
  int_t count(int_t addr, Visit visit) const {
    int_t hits = 0;
    for (const auto& groups : byProcessor_) {
      const auto group = groups.find(addr);
      if (group == groups.end()) continue;
      for (opnode* v : group->second) hits += visit(v) ? 1 : 0;
    }
    return hits;
  }

 private:
  std::vector<std::unordered_map<int_t, std::vector<opnode*>>> byProcessor_;
};

class BaselineOrder {
 public:
  BaselineOrder() : nodes_(state.nodeCount + 1) {
    for (auto& operations : state.graph) {
      for (opnode& node : operations) {
        nodes_[node.id] = &node;
        for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc)
          index_.add_arc(&node, arc->nptr);
      }
    }
  }

  // Passes over all operations until one inserts nothing; arcs inserted
  // during a pass take part in every later test of that pass.
  void infer() {
    while (pass() != 0) {
    }
  }

  // The first operation, in processor-then-sequence order, on a cycle. A
  // lock operation is entered only from an earlier operation of its
  // processor, which lies on the same cycle, so only loads and stores need
  // asking.
  opnode* first_on_cycle() const {
    for (auto& operations : state.graph) {
      for (opnode& node : operations) {
        if (node.optype != SYNC && index_.reaches(&node, &node)) return &node;
      }
    }
    return nullptr;
  }

  void print_cycle(opnode* start);

 private:
  int_t pass() {
    int_t inserted = 0;
    for (auto& operations : state.graph) {
      for (opnode& node : operations) {
        if (node.optype == STORE) inserted += overwritten_after(&node);
        if (node.optype == LOAD) inserted += read_by(&node);
      }
    }
    return inserted;
  }

  // A load of the initial value precedes every store to its address; a store
  // ordered before a load was overwritten by the store the load read.
  int_t read_by(opnode* r) {
    opnode* w = st_mapping(r);
    if (w == &state.sentinel)
      return stores_.count(r->addr, [&](opnode* v) { return insert(r, v); });
    return stores_.count(w->addr,
                         [&](opnode* v) { return v != w && index_.reaches(v, r) && insert(v, w); });
  }

  // A store that follows w overwrites w after every load that read w.
  int_t overwritten_after(opnode* w) {
    int_t inserted = 0;
    for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
      opnode* r = ld_mapping(cell);
      if (has_arc(w, r, Wt) == 0) continue;
      inserted += stores_.count(
          w->addr, [&](opnode* v) { return v != w && index_.reaches(w, v) && insert(r, v); });
    }
    return inserted;
  }

  bool insert(opnode* from, opnode* to) {
    if (!inferred_.insert(from, to)) return false;
    index_.add_arc(from, to);
    return true;
  }

  struct Frame {
    opnode* node;
    ORDER_t in;
    int_t inferred;       // inferred arcs still to visit, newest first
    const oparc* stored;  // next stored arc
    int_t later;          // next program-order successor, counting down
  };
  // The next arc of the frame's node in list order, or false when none is left.
  bool next_arc(Frame& frame, opnode*& target, ORDER_t& order) const;

  std::vector<opnode*> nodes_;
  OrderIndex index_;
  InferredArcs inferred_;
  StoresByAddr stores_;
};

bool BaselineOrder::next_arc(Frame& frame, opnode*& target, ORDER_t& order) const {
  opnode* u = frame.node;
  if (frame.inferred > 0) {
    target = nodes_[inferred_.of(u)[--frame.inferred]];
    order = IO;
    return true;
  }
  if (frame.stored != nullptr) {
    target = frame.stored->nptr;
    order = frame.stored->order;
    frame.stored = frame.stored->nxtarc;
    return true;
  }
  while (frame.later > u->seq_num) {
    opnode* v = node_at(u->proc_num, frame.later--);
    if (keeps_order(state.MC, u, v)) {
      target = v;
      order = LO;
      return true;
    }
  }
  return false;
}

// Depth-first from the start over the arcs in list order until an arc leads
// back to it; then prints that arc, the path back to the start, and the start.
void BaselineOrder::print_cycle(opnode* start) {
  NodeMarks visited;
  visited.clear();
  std::vector<Frame> stack;
  const auto push = [&](opnode* u, ORDER_t in) {
    visited.set(u);
    stack.push_back({u, in, static_cast<int_t>(inferred_.of(u).size()), u->pointTo,
                     state.procOpNum[u->proc_num] - 1});
  };
  push(start, LO);
  opnode* target = nullptr;
  ORDER_t order = LO;
  while (!stack.empty()) {
    if (!next_arc(stack.back(), target, order)) {
      stack.pop_back();
    } else if (target == start) {
      break;
    } else if (!visited.test(target)) {
      push(target, order);
    }
  }
  std::printf("Find a consistency violation:\n");
  print_node(start);
  print_arc(order);
  for (std::size_t i = stack.size() - 1; i > 0; --i) {
    print_node(stack[i].node);
    print_arc(stack[i].in);
  }
  print_node(start);
  std::printf("\n");
}

}  // namespace

int_t verify_baseline_order() {
  BaselineOrder order;
  order.infer();
  opnode* start = order.first_on_cycle();
  if (start == nullptr) return 0;
  order.print_cycle(start);
  return 1;
}
