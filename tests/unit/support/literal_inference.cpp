#include "support/literal_inference.h"

#include <algorithm>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "trace/read_from.h"

namespace {

// The literal rule. `pass` counts from 1.
class LiteralInference {
 public:
  int run_pass(int pass) {
    pass_ = pass;
    int inserted = 0;
    for (auto& operations : state->graph) {
      for (opnode& node : operations) {
        if (node.optype == STORE) inserted += overwritten_after(&node);
        if (node.optype == LOAD) inserted += read_by(&node);
      }
    }
    return inserted;
  }

 private:
  static bool timed(const opnode* u, const opnode* v) {
    return check_TO(u, v) != 0 || scan_before(u, v) != 0;
  }

  // The stores to addr of processor p with lpw[p] <= seq <= upw[p] of the
  // owner, after the nearest one below lpw[p] when `below` allows it.
  template <class Below, class Try>
  static int candidates(int_t addr, const opnode* owner, Below below, Try attempt) {
    int inserted = 0;
    for (int_t p = 0; p < state->NPROCESSOR; ++p) {
      opnode* nearest = nullptr;
      std::vector<opnode*> window;
      for (opnode& v : state->graph[p]) {
        if (v.optype != STORE || v.addr != addr) continue;
        if (v.seq_num < owner->lpw[p]) nearest = &v;
        if (v.seq_num >= owner->lpw[p] && v.seq_num <= owner->upw[p]) window.push_back(&v);
      }
      if (nearest != nullptr && below(p)) inserted += attempt(nearest, true) ? 1 : 0;
      for (opnode* v : window) inserted += attempt(v, false) ? 1 : 0;
    }
    return inserted;
  }

  bool infer(opnode* from, opnode* to, opnode* before, opnode* after, bool below) {
    if (timed(before, after)) return pass_ == 1 && ins_arc(from, to, IO) == 0;
    if (below || timed(after, before) || has_arc(from, to, IO) != 0) return false;
    return check_go(before, after) != 0 && ins_arc(from, to, IO) == 0;
  }

  int read_by(opnode* r) {
    opnode* w = st_mapping(r);
    if (w == &state->sentinel) {
      if (pass_ != 1) return 0;
      return candidates(
          r->addr, r, [](int_t) { return true; },
          [&](opnode* v, bool) { return ins_arc(r, v, IO) == 0; });
    }
    return candidates(
        w->addr, w, [](int_t) { return false; },
        [&](opnode* v, bool) { return v != w && infer(v, w, v, r, false); });
  }

  int overwritten_after(opnode* w) {
    int inserted = 0;
    for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
      opnode* r = ld_mapping(cell);
      // A store of p below r's window can be timed after w only when it lies
      // above w's window or was not yet issued when a scan saw w completed.
      const auto below = [&](int_t p) {
        return pass_ == 1 && std::min(w->upw[p] + 1, first_issued_after(w, p)) < r->lpw[p];
      };
      inserted += candidates(w->addr, r, below, [&](opnode* v, bool under) {
        return v != w && infer(r, v, w, v, under);
      });
    }
    return inserted;
  }

  int pass_ = 0;
};

}  // namespace

void literal_optimized_inference() {
  LiteralInference inference;
  for (int pass = 1; inference.run_pass(pass) != 0; ++pass) {
  }
}
