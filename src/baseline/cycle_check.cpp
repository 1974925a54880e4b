#include "baseline/cycle_check.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "baseline/order_index.h"
#include "derive/program_order.h"
#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "graph/marks.h"
#include "report/diagnostics.h"
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
//
// Program order runs from every store to every later store of its processor,
// so the stores of one processor that reach a node form a prefix of them, and
// the stores a node reaches form a suffix. The inference tests the stores in
// sequence order and inserts an arc for each that passes; a test that fails
// changes nothing, so once one fails in a prefix the rest fail too, and the
// failures before a suffix can be skipped by bisection. Prefixes and suffixes
// only grow, and the arcs of the part handled before are all present, so a
// later pass starts where the last one ended.
class StoresByAddr {
 public:
  using Group = std::vector<opnode*>;

  StoresByAddr() : byProcessor_(state.graph.size()) {
    for (std::size_t p = 0; p < state.graph.size(); ++p) {
      for (opnode& node : state.graph[p]) {
        if (node.optype == STORE) byProcessor_[p][node.addr].push_back(&node);
      }
    }
  }

  // Calls `visit` on the stores of every processor to `addr` with the
  // processor's number; `visit` answers how many arcs it inserted.
  template <typename Visit>
  int_t count(int_t addr, Visit visit) const {
    int_t hits = 0;
    for (std::size_t p = 0; p < byProcessor_.size(); ++p) {
      const auto group = byProcessor_[p].find(addr);
      if (group != byProcessor_[p].end()) hits += visit(group->second, p);
    }
    return hits;
  }

 private:
  std::vector<std::unordered_map<int_t, Group>> byProcessor_;
};

// Adds the stored arcs (the write-to arcs) to the index.
void add_stored_arcs(OrderIndex& index) {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc)
        index.add_arc(&node, arc->nptr);
    }
  }
}

// The first operation, in processor-then-sequence order, on a cycle. A lock
// operation is entered only from an earlier operation of its processor, which
// lies on the same cycle, so only loads and stores need asking.
opnode* first_on_cycle(const OrderIndex& index) {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype != SYNC && index.reaches(&node, &node)) return &node;
    }
  }
  return nullptr;
}

// Whether the inference ends with a cycle, decided without its arc lists.
//
// Every test of the inference asks only what is reachable (and which
// write-to arcs exist), and it inserts an arc whenever its test passes, so
// what it ends with reaching is the least closure in which every passing
// test's arc is present, whatever the order of the tests. Within one
// processor, the first store of a suffix reaches the rest of it and the last
// store of a prefix is reached from the rest, so one arc per processor and
// rule gives the same closure as all of them.
class OrderClosure {
 public:
  OrderClosure() { add_stored_arcs(index_); }

  // Arcs are only added, so the first arc that closes a cycle settles the
  // verdict and the rest of the inference is not needed for it.
  bool has_cycle() {
    while (!closed_ && pass()) {
    }
    return closed_ || first_on_cycle(index_) != nullptr;
  }

 private:
  using Group = StoresByAddr::Group;

  bool pass() {
    int_t changed = 0;
    for (auto& operations : state.graph) {
      for (opnode& node : operations) {
        if (closed_) return false;
        if (node.optype == STORE) changed += overwritten_after(&node);
        if (node.optype == LOAD) changed += read_by(&node);
      }
    }
    return changed != 0;
  }

  int_t read_by(opnode* r) {
    opnode* w = st_mapping(r);
    if (w == &state.sentinel)
      return stores_.count(r->addr,
                           [&](const Group& group, std::size_t) { return link(r, group[0]); });
    return stores_.count(w->addr, [&](const Group& group, std::size_t) {
      auto end = std::partition_point(group.begin(), group.end(),
                                      [&](const opnode* v) { return index_.reaches(v, r); });
      if (end != group.begin() && *(end - 1) == w) --end;
      return end == group.begin() ? 0 : link(*(end - 1), w);
    });
  }

  int_t overwritten_after(opnode* w) {
    int_t changed = 0;
    for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
      opnode* r = ld_mapping(cell);
      if (has_arc(w, r, Wt) == 0) continue;
      changed += stores_.count(w->addr, [&](const Group& group, std::size_t) {
        auto v = std::partition_point(group.begin(), group.end(),
                                      [&](const opnode* s) { return !index_.reaches(w, s); });
        if (v != group.end() && *v == w) ++v;
        return v == group.end() ? 0 : link(r, *v);
      });
    }
    return changed;
  }

  // 1 when the arc x -> y adds to what x reaches; notes when it closes a
  // cycle (y already reaches x).
  int_t link(opnode* x, opnode* y) {
    if (index_.reaches(x, y)) return 0;
    if (index_.reaches(y, x)) closed_ = true;
    index_.add_arc(x, y);
    return 1;
  }

  bool closed_ = false;
  OrderIndex index_;
  StoresByAddr stores_;
};

class BaselineOrder {
 public:
  BaselineOrder()
      : nodes_(state.nodeCount + 1),
        prefixDone_(nodes_.size() * state.graph.size(), 0),
        suffixDone_(nodes_.size() * state.graph.size(), OrderIndex::kNone) {
    for (auto& operations : state.graph) {
      for (opnode& node : operations) nodes_[node.id] = &node;
    }
    add_stored_arcs(index_);
  }

  // Passes over all operations until one inserts nothing; arcs inserted
  // during a pass take part in every later test of that pass.
  void infer() {
    while (pass() != 0) {
    }
  }

  opnode* cycle_start() const { return first_on_cycle(index_); }

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
    opnode* target = w == &state.sentinel ? r : w;
    return stores_.count(target->addr, [&](const StoresByAddr::Group& group, std::size_t p) {
      int_t& done = prefixDone_[memo(r, p)];
      int_t inserted = 0;
      for (; done < static_cast<int_t>(group.size()); ++done) {
        opnode* v = group[done];
        if (w == &state.sentinel) {
          inserted += insert(r, v) ? 1 : 0;
        } else if (v != w) {
          if (!index_.reaches(v, r)) break;
          inserted += insert(v, w) ? 1 : 0;
        }
      }
      return inserted;
    });
  }

  // A store that follows w overwrites w after every load that read w. As w
  // reaches r, the arcs from r add nothing to what w reaches, so the suffix
  // stays the same while they are inserted.
  int_t overwritten_after(opnode* w) {
    int_t inserted = 0;
    for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
      opnode* r = ld_mapping(cell);
      if (has_arc(w, r, Wt) == 0) continue;
      inserted += stores_.count(w->addr, [&](const StoresByAddr::Group& group, std::size_t p) {
        int_t& done = suffixDone_[memo(r, p)];
        const auto end = group.begin() + std::min<std::size_t>(done, group.size());
        auto v = std::partition_point(group.begin(), end,
                                      [&](const opnode* s) { return !index_.reaches(w, s); });
        done = static_cast<int_t>(v - group.begin());
        int_t added = 0;
        for (; v != end; ++v) added += *v != w && insert(r, *v) ? 1 : 0;
        return added;
      });
    }
    return inserted;
  }

  static std::size_t memo(const opnode* r, std::size_t p) {
    return static_cast<std::size_t>(r->id) * state.graph.size() + p;
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
  // By load and processor: how many of the processor's stores the prefix
  // rule has handled, and where the suffix rule's handled part starts.
  std::vector<int_t> prefixDone_;
  std::vector<int_t> suffixDone_;
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
  FoundCycle cycle{{start}, {}};
  for (std::size_t i = stack.size() - 1; i > 0; --i) {
    cycle.tags.push_back(order);
    cycle.nodes.push_back(stack[i].node);
    order = stack[i].in;
  }
  cycle.tags.push_back(order);
  cycle.nodes.push_back(start);
  report_cycle(std::move(cycle));
}

}  // namespace

int_t verify_baseline_order() {
  if (!OrderClosure().has_cycle()) return 0;
  BaselineOrder order;
  order.infer();
  opnode* start = order.cycle_start();
  if (start == nullptr) return 0;
  order.print_cycle(start);
  return 1;
}
