#include "derive/write_to.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unordered_map>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "derive/reach_closure.h"
#include "graph/arc_store.h"
#include "graph/timed_pairs.h"
#include "graph/walk_stack.h"
#include "rc/propagation.h"
#include "run/diagnostics.h"
#include "scc/propagation.h"
#include "trace/read_from.h"

namespace {

[[noreturn]] void report_write_to_violation(const opnode* store, const opnode* load) {
  print_node(store);
  print_arc(TO);
  print_node(load);
  print_arc(Co);
  print_node(store);
  std::printf("\n");
  err_quit("Find a write-to consistency violation");
}

// Whether the load gets a write-to arc at all: not for the initial value, not
// from its own processor, and under ScC only between in-session operations.
bool wants_write_to(const opnode* load, const opnode* store) {
  if (store == &state.sentinel || store->proc_num == load->proc_num) return false;
  return state.MC != ScC || store->inSync != 0;
}

// A load that would have its write-to arc but for the time order, which
// already puts the store first: it read w as surely as one with the arc.
bool timed_write_to(const opnode* w, const opnode* r) {
  return wants_write_to(r, w) && check_TO(w, r) != 0;
}

// The stores of every processor grouped by address, each group in ascending
// sequence number, so that the inference visits only same-address stores,
// in the order a scan of the processor would meet them.
class StoreIndex {
 public:
  explicit StoreIndex(StoresBelow below) : below_(below), byProcessor_(state.graph.size()) {
    for (std::size_t p = 0; p < state.graph.size(); ++p) {
      for (const opnode& node : state.graph[p]) {
        if (node.optype == STORE) byProcessor_[p][node.addr].push_back(node.seq_num);
      }
    }
  }

  // Calls `visit` on every store to `addr`, processor by processor; returns
  // how many of the calls answered true (inserted a new arc). In optimized
  // mode the stores of processor p are those of `owner`'s window, lpw[p] to
  // upw[p], preceded by the nearest store below the window (or by every
  // store below it, for comparison with the unreduced rule). Stores above
  // the window are timed after the owner, so no inferred arc to or from
  // them can close a cycle that time does not close already. Stores below
  // it are timed before the owner, and one of them is enough: the nearest
  // is ordered after every other by program order or time, so an arc into
  // it or out of it says as much about the owner's order as the others do.
  template <typename Visit>
  int_t for_each_candidate(int_t addr, const opnode* owner, bool optimized, Visit visit) const {
    int_t inserted = 0;
    for (int_t p = 0; p < static_cast<int_t>(byProcessor_.size()); ++p) {
      const auto group = byProcessor_[p].find(addr);
      if (group == byProcessor_[p].end()) continue;
      const std::vector<int_t>& seqs = group->second;
      auto k = seqs.begin();
      auto end = seqs.end();
      if (optimized) {
        const int_t upper = owner->upw[p] < 0 ? owner->upw[p] : owner->upw[p] + 1;
        k = std::lower_bound(seqs.begin(), seqs.end(), std::max(owner->lpw[p], 0));
        end = std::lower_bound(k, seqs.end(), std::min(upper, state.procOpNum[p]));
        if (k != seqs.begin()) k = below_ == StoresBelow::Nearest ? k - 1 : seqs.begin();
      }
      for (; k < end; ++k) {
        if (visit(node_at(p, *k))) ++inserted;
      }
    }
    return inserted;
  }

 private:
  StoresBelow below_;
  std::vector<std::unordered_map<int_t, std::vector<int_t>>> byProcessor_;
};

// One run of the inference: the candidate index and, when it fits and no two
// operations are timed (so that "ordered before" is plain reachability, as
// always in baseline mode), the closure that answers it without a walk.
// Every arc is inserted here, so the closure stays exact.
class Inference {
 public:
  Inference(bool optimized, StoresBelow below) : optimized_(optimized), stores_(below) {
    if (!any_timed_pair() && ReachClosure::fits()) closure_.emplace();
  }

  // One pass over all operations; returns the number of new arcs.
  int_t pass() {
    int_t inserted = 0;
    for (auto& operations : state.graph) {
      for (opnode& node : operations) inserted += infer_for(&node);
    }
    return inserted;
  }

 private:
  int_t infer_for(opnode* node) {
    if (node->optype == STORE) return overwritten_after(node);
    if (node->optype != LOAD) return 0;
    opnode* w = st_mapping(node);
    if (w == &state.sentinel) return initial_value(node);
    return overwritten_before(node, w);
  }

  // A load of the initial value precedes every store to its address.
  int_t initial_value(opnode* r) {
    return stores_.for_each_candidate(r->addr, r, optimized_,
                                      [&](opnode* v) { return insert(r, v); });
  }

  // A store ordered before a load was overwritten by the store the load read.
  int_t overwritten_before(opnode* r, opnode* w) {
    return stores_.for_each_candidate(w->addr, r, optimized_, [&](opnode* v) {
      return v != w && ordered_before(v, r) && insert(v, w);
    });
  }

  // A store that follows w overwrites w after every load that read w.
  int_t overwritten_after(opnode* w) {
    int_t inserted = 0;
    for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
      opnode* r = ld_mapping(cell);
      if (has_arc(w, r, Wt) == 0 && !timed_write_to(w, r)) continue;
      inserted += stores_.for_each_candidate(w->addr, r, optimized_, [&](opnode* v) {
        return v != w && ordered_before(w, v) && insert(r, v);
      });
    }
    return inserted;
  }

  // Whether `before` is ordered before `after`: by time first in optimized
  // mode, else by the arcs.
  bool ordered_before(opnode* before, opnode* after) {
    if (optimized_ && (check_TO(before, after) != 0 || scan_before(before, after) != 0)) {
      return true;
    }
    if (closure_) return closure_->reaches(before, after);
    return check_go(before, after) != 0;
  }

  bool insert(opnode* from, opnode* to) {
    if (ins_arc(from, to, IO) != 0) return false;
    if (closure_) closure_->add_arc(from, to);
    return true;
  }

  bool optimized_;
  StoreIndex stores_;
  std::optional<ReachClosure> closure_;
};

// Passes over all operations until one inserts nothing; arcs inserted during
// a pass take part in every later test of that pass.
int_t add_io_arc_variant(bool optimized, StoresBelow below) {
  Inference inference(optimized, below);
  while (inference.pass() != 0) {
  }
  return 0;
}

}  // namespace

int_t add_wt_arc() {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      opnode* r = &node;
      if (r->optype != LOAD || (state.MC == ScC && r->inSync != 1)) continue;
      opnode* w = st_mapping(r);
      if (!wants_write_to(r, w)) continue;
      if (check_TO(r, w) == 1) report_write_to_violation(w, r);
      if (check_TO(w, r) == 1) continue;
      ins_arc(w, r, Wt);
      if (state.MC == RC) ins_arc_for_rc(w, r, Wt);
      if (state.MC == ScC) ins_arc_for_scc(w, r, Wt);
    }
  }
  return 0;
}

int_t add_io_arc() {
  return state.isBase == 0 ? add_io_arc_optimize() : add_io_arc_baseline();
}

int_t add_io_arc_baseline() {
  return add_io_arc_variant(false, StoresBelow::Nearest);
}

int_t add_io_arc_optimize() {
  return add_io_arc_variant(true, StoresBelow::Nearest);
}

int_t add_io_arc_optimize(StoresBelow below) {
  return add_io_arc_variant(true, below);
}

int_t check_go(opnode* u, opnode* v) {
  static NodeMarks visited;
  visited.clear();
  return dfs_go(u, v, u, visited);
}

// Reaches v through the arcs, or in optimized mode any operation timed before
// v, passing only through operations that lie in u's pending windows.
int_t dfs_go(opnode* u, opnode* v, opnode* op, NodeMarks& visited) {
  static WalkStack stack;
  const auto reaches = [v](const opnode* n) { return n == v || check_TO(n, v) != 0; };
  const auto never = [](const opnode*) { return false; };
  const auto in_window = [u](const opnode* n) { return op_in_pw(u, n) != 0; };
  return walk_arcs(stack, op, visited, reaches, never, in_window) != nullptr ? 1 : 0;
}

int_t op_in_pw(const opnode* u, const opnode* v) {
  if (state.isBase == 1) return 1;
  return check_TO(u, v) == 0 && check_TO(v, u) == 0 ? 1 : 0;
}
