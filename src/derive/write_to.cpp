#include "derive/write_to.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <optional>
#include <unordered_map>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "derive/reach_closure.h"
#include "derive/window_walks.h"
#include "graph/arc_store.h"
#include "graph/timed_pairs.h"
#include "report/diagnostics.h"
#include "trace/read_from.h"

namespace {

[[noreturn]] void report_write_to_violation(const opnode* store, const opnode* load) {
  print_node(store);
  print_arc(TO);
  print_node(load);
  print_arc(Co);
  print_node(store);
  std::fprintf(state->out, "\n");
  state->lastCycle = {{store, load, store}, {TO, Co}};
  stop_run(StopKind::Violation, "Find a write-to consistency violation");
}

// Whether the load gets a write-to arc at all: not for the initial value, and
// under ScC only between in-session operations. A store of the load's own
// processor gets one only when it comes later in program order, where no
// model lets the load see it: the arc closes a cycle with program order.
// Under RC and ScC the lock-model decision finds that cycle itself.
bool wants_write_to(const opnode* load, const opnode* store) {
  if (store == &state->sentinel) return false;
  if (store->proc_num == load->proc_num) {
    return store->seq_num > load->seq_num && state->MC != RC && state->MC != ScC;
  }
  return state->MC != ScC || store->inSync != 0;
}

// A load that read an earlier store of its own processor has no write-to arc
// from it (and under TSO and PSO may have taken it from the store buffer, with
// no arc at all); it is overwritten all the same by every store that the one
// it read precedes. The lock-based models decide this in their own way.
bool reads_own_store(const opnode* store, const opnode* load) {
  return state->MC != RC && state->MC != ScC && reads_earlier_own_store(store, load);
}

// Whether the pending windows or the scans put u before v.
bool timed_before(const opnode* u, const opnode* v) {
  return check_TO(u, v) != 0 || scan_before(u, v) != 0;
}

int_t any_store(int_t) {
  return 0;
}
int_t no_store(int_t) {
  return std::numeric_limits<int_t>::max();
}

// The lowest sequence number at which a store of p can be timed after w:
// only stores above w's window, or not yet issued when a scan saw w
// completed, are. Below it neither test can hold, whatever the store's own
// windows say.
int_t first_that_may_follow(const opnode* w, int_t p) {
  return std::min(w->upw[p] + 1, first_issued_after(w, p));
}

// The stores of every processor grouped by address, each group in ascending
// sequence number, so that the inference visits only same-address stores,
// in the order a scan of the processor would meet them; and, per processor,
// every operation's store address, for windows narrow enough to scan.
class StoreIndex {
 public:
  StoreIndex() {
    const auto processors = state->graph.size();
    storeAddress_.resize(processors);
    for (std::size_t p = 0; p < processors; ++p) {
      storeAddress_[p].assign(state->graph[p].size(), kNotAStore);
      for (const opnode& node : state->graph[p]) {
        if (!writes_memory(&node)) continue;
        auto& group = byAddress_[node.addr];
        if (group.empty()) group.resize(processors);
        group[p].push_back(node.seq_num);
        storeAddress_[p][node.seq_num] = node.addr;
      }
    }
  }

  // Calls `visit(v, below)` on every store v to `addr`, processor by
  // processor; returns how many of the calls answered true (inserted a new
  // arc). In optimized mode the stores of processor p are those of `owner`'s
  // window, lpw[p] to upw[p], preceded by the nearest store below the window,
  // for which `below` is true, when its sequence number is `lowestBelow(p)`
  // or more.
  template <typename LowestBelow, typename Visit>
  int_t for_each_candidate(int_t addr, const opnode* owner, bool optimized, LowestBelow lowestBelow,
                           Visit visit) {
    int_t inserted = 0;
    const auto group = byAddress_.find(addr);
    if (group == byAddress_.end()) return 0;
    if (!optimized) {
      for (int_t p = 0; p < static_cast<int_t>(group->second.size()); ++p) {
        for (const int_t seq : group->second[p]) inserted += visit(node_at(p, seq), false) ? 1 : 0;
      }
      return inserted;
    }
    gather(group->second, addr, owner, lowestBelow);
    for (const Candidate& candidate : candidates_) {
      inserted += visit(candidate.node, candidate.below) ? 1 : 0;
    }
    return inserted;
  }

 private:
  static constexpr int_t kNotAStore = -1;
  // Windows up to this many operations are scanned op by op; wider ones are
  // searched in the address's store list. Both visit the same stores in the
  // same ascending order.
  static constexpr int_t kScannedWindow = 48;

  struct Candidate {
    opnode* node;
    bool below;
  };

  // The candidates of `owner`'s windows into candidates_, in the order they
  // are visited. Which stores they are depends on the windows and addresses
  // alone, so gathering them all before the first visit changes nothing;
  // it lets their nodes be fetched from memory side by side.
  template <typename LowestBelow>
  void gather(const std::vector<std::vector<int_t>>& byProcessor, int_t addr, const opnode* owner,
              LowestBelow lowestBelow) {
    candidates_.clear();
    for (int_t p = 0; p < static_cast<int_t>(byProcessor.size()); ++p) {
      const std::vector<int_t>& seqs = byProcessor[p];
      const int_t from = std::max(owner->lpw[p], 0);
      const int_t upper = owner->upw[p] < 0 ? owner->upw[p] : owner->upw[p] + 1;
      const int_t to = std::min(upper, state->procOpNum[p]);
      // lowestBelow reads the owner's own rows only; the address's store
      // list is looked at just when a store below may count.
      const int_t lowest = lowestBelow(p);
      if (lowest < from) gather_below(seqs, addr, p, std::max(lowest, 0), from);
      gather_window(seqs, addr, p, from, to);
    }
  }

  void add_candidate(opnode* node, bool below) {
    __builtin_prefetch(node);
    candidates_.push_back({node, below});
  }

  // The last store to `addr` below `from`, if it lies at `lowest` or above:
  // sought op by op down from `from` when that stretch is narrow, else in
  // the address's store list.
  void gather_below(const std::vector<int_t>& seqs, int_t addr, int_t p, int_t lowest, int_t from) {
    if (from - lowest <= kScannedWindow) {
      const std::vector<int_t>& addresses = storeAddress_[p];
      for (int_t seq = from - 1; seq >= lowest; --seq) {
        if (addresses[seq] != addr) continue;
        add_candidate(node_at(p, seq), true);
        return;
      }
      return;
    }
    if (seqs.empty() || seqs.front() >= from) return;
    const int_t below = *(std::lower_bound(seqs.begin(), seqs.end(), from) - 1);
    if (below >= lowest) add_candidate(node_at(p, below), true);
  }

  void gather_window(const std::vector<int_t>& seqs, int_t addr, int_t p, int_t from, int_t to) {
    if (to - from <= kScannedWindow) {
      const std::vector<int_t>& addresses = storeAddress_[p];
      for (int_t seq = from; seq < to; ++seq) {
        if (addresses[seq] == addr) add_candidate(node_at(p, seq), false);
      }
      return;
    }
    auto k = std::lower_bound(seqs.begin(), seqs.end(), from);
    const auto end = std::lower_bound(k, seqs.end(), to);
    for (; k < end; ++k) add_candidate(node_at(p, *k), false);
  }

  // Per address, per processor, the sequence numbers of its stores.
  std::unordered_map<int_t, std::vector<std::vector<int_t>>> byAddress_;
  // Per processor, per operation, the address it stores to, or kNotAStore.
  std::vector<std::vector<int_t>> storeAddress_;
  // The candidates of the owner at hand, as gather found them.
  std::vector<Candidate> candidates_;
};

// One run of the inference: the candidate index and, when it fits and no two
// operations are timed (so that "ordered before" is plain reachability, as
// always in baseline mode), the closure that answers it without a walk.
// Every arc is inserted here, so the closure stays exact.
class Inference {
 public:
  Inference(bool optimized, bool ownReaders) : optimized_(optimized), ownReaders_(ownReaders) {
    if (!any_timed_pair() && ReachClosure::fits()) closure_.emplace();
  }

  // One pass over all operations; returns the number of new arcs.
  int_t pass() {
    ++passes_;
    if (passes_ > 1) return pass_over_open_pairs();
    int_t inserted = 0;
    for (auto& operations : state->graph) {
      for (opnode& node : operations) inserted += infer_for(&node);
    }
    return inserted;
  }

 private:
  // A candidate whose order the first pass could not establish: from -> to
  // is inserted once `before` is ordered before `after`.
  struct OpenPair {
    opnode* from;
    opnode* to;
    opnode* before;
    opnode* after;
    // The kept walk from `before` that said no, and how many of its targets
    // the pair has read (with the closure, -1 and 0).
    int_t walk;
    std::size_t seen;
    // Arcs noted when from -> to was last known to be absent; kUnknown when
    // it may have been there already when the pair opened.
    std::size_t absentAt;
  };
  static constexpr std::size_t kUnknown = std::numeric_limits<std::size_t>::max();

  // Every later pass meets the candidates of the first in the same order,
  // and all but the open ones end without an effect: time (which does not
  // change) decided them, or their arc exists, and arcs are only added. So a
  // later pass tries the open pairs alone, in the order the first pass met
  // them, and gives each the answer a full pass would. A pair whose arc now
  // exists is closed for good.
  int_t pass_over_open_pairs() {
    int_t inserted = 0;
    std::size_t kept = 0;
    for (OpenPair& pair : open_) {
      if (may_have_arc(pair) && has_arc(pair.from, pair.to, IO) != 0) continue;
      pair.absentAt = walks_.noted();
      if (reaches_now(pair)) {
        inserted += insert(pair.from, pair.to) ? 1 : 0;
        continue;
      }
      open_[kept++] = pair;
    }
    open_.resize(kept);
    return inserted;
  }

  bool reaches_now(OpenPair& pair) {
    if (closure_) return closure_->reaches(pair.before, pair.after);
    return walks_.reaches_now(pair.walk, pair.after, pair.seen);
  }

  // Whether from -> to may have been inserted since it was last known to be
  // absent. Only this inference inserts arcs while it runs, and it notes
  // each one.
  bool may_have_arc(const OpenPair& pair) const {
    return pair.absentAt == kUnknown || walks_.noted_since(pair.from, pair.absentAt);
  }

  // An RMW takes both turns, a store's first.
  int_t infer_for(opnode* node) {
    const int_t inserted = writes_memory(node) ? overwritten_after(node) : 0;
    if (!reads_memory(node)) return inserted;
    opnode* w = st_mapping(node);
    if (w == &state->sentinel) return inserted + (passes_ == 1 ? initial_value(node) : 0);
    return inserted + overwritten_before(node, w);
  }

  // An RMW is among the stores of its own address, but never orders itself.
  //
  // A load of the initial value precedes every store to its address. Stores
  // above the load's window are timed after it already; below the window
  // the nearest store of each processor stands for the rest, which precede
  // it by program order or time: if it is timed before the load, the arc to
  // it closes a cycle at once.
  int_t initial_value(opnode* r) {
    return stores_.for_each_candidate(r->addr, r, optimized_, any_store,
                                      [&](opnode* v, bool) { return v != r && insert(r, v); });
  }

  // A store ordered before a load was overwritten by the store w the load
  // read. The stores of w's window are tried: one below it is timed before
  // w, so the arc adds nothing; one above it is timed after w, and if it is
  // ordered before the load, the rule below puts the load before it, which
  // closes the cycle.
  int_t overwritten_before(opnode* r, opnode* w) {
    return stores_.for_each_candidate(w->addr, w, optimized_, no_store, [&](opnode* v, bool) {
      return v != w && v != r && infer(v, w, v, r);
    });
  }

  // A store that follows w overwrites w after every load that read w, also
  // after one that time alone orders after w. The stores of the load's
  // window are tried, and in each processor the nearest store below it,
  // which is timed before the load: the arc to it closes a cycle when w is
  // ordered before it. For that store only time is asked: were w ordered
  // before it through arcs only, it would lie above w's window (timed after
  // w, which time tells) or within it, where the rule above puts it before
  // w once it is timed before the load. A store below first_that_may_follow
  // fails the test for certain and is not tried.
  int_t overwritten_after(opnode* w) {
    int_t inserted = 0;
    for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
      opnode* r = ld_mapping(cell);
      if (!optimized_ && !(ownReaders_ && reads_own_store(w, r)) && has_arc(w, r, Wt) == 0)
        continue;
      const auto lowestBelow = [&](int_t p) {
        return passes_ == 1 ? first_that_may_follow(w, p) : no_store(p);
      };
      inserted += stores_.for_each_candidate(
          w->addr, r, optimized_, lowestBelow,
          [&](opnode* v, bool below) { return v != w && v != r && infer(r, v, w, v, below); });
    }
    return inserted;
  }

  // Inserts from -> to when `before` is ordered before `after`. In optimized
  // mode time answers first, and `timeOnly` asks nothing else; the walk over
  // the arcs is also spared when the arc is there already, or when time
  // orders the pair the other way round: the order sought would then close a
  // cycle of arcs and time, which the cycle check finds without this arc.
  // Every pass meets the same candidates, so an arc that time alone calls
  // for was inserted in the first pass.
  bool infer(opnode* from, opnode* to, opnode* before, opnode* after, bool timeOnly = false) {
    if (optimized_) {
      if (timed_before(before, after)) return passes_ == 1 && insert(from, to);
      if (timeOnly || timed_before(after, before) || has_arc(from, to, IO) != 0) return false;
    }
    const WindowWalks::Answer answer = reaches(before, after);
    if (answer.reaches) return insert(from, to);
    const std::size_t absentAt = optimized_ ? walks_.noted() : kUnknown;
    open_.push_back({from, to, before, after, answer.walk, answer.seen, absentAt});
    return false;
  }

  // The closure's answer, or check_go's.
  WindowWalks::Answer reaches(opnode* before, opnode* after) {
    if (closure_) return {closure_->reaches(before, after), -1, 0};
    return walks_.ask(before, after);
  }

  bool insert(opnode* from, opnode* to) {
    if (ins_arc(from, to, IO) != 0) return false;
    if (closure_) closure_->add_arc(from, to);
    walks_.inserted(from, to);
    return true;
  }

  bool optimized_;
  bool ownReaders_;
  int_t passes_ = 0;
  StoreIndex stores_;
  std::optional<ReachClosure> closure_;
  std::vector<OpenPair> open_;
  WindowWalks walks_;
};

// Passes over all operations until one inserts nothing; arcs inserted during
// a pass take part in every later test of that pass.
int_t add_io_arc_variant(bool optimized, bool ownReaders) {
  Inference inference(optimized, ownReaders);
  while (inference.pass() != 0) {
  }
  return 0;
}

}  // namespace

int_t add_wt_arc(WriteToCarry carry) {
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      opnode* r = &node;
      if (!reads_memory(r) || (state->MC == ScC && r->inSync != 1)) continue;
      opnode* w = st_mapping(r);
      if (!wants_write_to(r, w)) continue;
      if (check_TO(r, w) == 1) report_write_to_violation(w, r);
      if (check_TO(w, r) == 1) continue;
      ins_arc(w, r, Wt);
      if (carry != nullptr) carry(w, r);
    }
  }
  return 0;
}

int_t add_io_arc() {
  return state->isBase == 0 ? add_io_arc_optimize() : add_io_arc_baseline();
}

int_t add_io_arc_baseline(bool ownReaders) {
  return add_io_arc_variant(false, ownReaders);
}

int_t add_io_arc_optimize() {
  return add_io_arc_variant(true, true);
}

int_t check_go(opnode* u, opnode* v) {
  thread_local NodeMarks visited;
  visited.clear();
  return dfs_go(u, v, u, visited);
}

// Reaches v through the arcs, or in optimized mode any operation timed before
// v, passing only through operations that lie in u's pending windows.
int_t dfs_go(opnode* u, opnode* v, opnode* op, NodeMarks& visited) {
  const auto reaches = [v](const opnode* n) { return n == v || check_TO(n, v) != 0; };
  return walk_window(u, op, visited, reaches, [](const opnode*) {}) ? 1 : 0;
}

// Neither check_TO(u, v) nor check_TO(v, u). The walks ask this of many v
// for one u, so each test reads u's windows first and v's only when u's
// side does not settle it.
int_t op_in_pw(const opnode* u, const opnode* v) {
  if (state->isBase == 1) return 1;
  if (u == &state->sentinel || v == &state->sentinel) {
    return check_TO(u, v) == 0 && check_TO(v, u) == 0 ? 1 : 0;
  }
  const bool u_before_v = u->upw[v->proc_num] < v->seq_num && u->seq_num < v->lpw[u->proc_num];
  if (u_before_v) return 0;
  const bool v_before_u = v->seq_num < u->lpw[v->proc_num] && v->upw[u->proc_num] < u->seq_num;
  return v_before_u ? 0 : 1;
}
