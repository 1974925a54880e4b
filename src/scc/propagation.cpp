#include "scc/propagation.h"

#include "derive/program_order.h"
#include "graph/arc_store.h"
#include "report/diagnostics.h"
#include "scc/search_state.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

int_t ins_arc_for_scc(opnode* u, opnode* v, ORDER_t order) {
  if (u->proc_num == v->proc_num) return 0;
  if (is_in_sync(u) != 1 || is_in_sync(v) != 1) return 0;
  // Where sessions nest, the nearest lock operations need not be the ends of
  // one session each; the search then goes without this precedence, and the
  // verdict is the lock-model decision's.
  opnode* release = lock_op_after(u);
  opnode* acquire = lock_op_before(v);
  if (release == nullptr || !is_release(release)) return 0;
  if (release->addr != acquire->addr) return 0;
  ins_reverse_arc(acquire, session_acquire(release), order);
  return 1;
}

void scc_write_to_carry(opnode* store, opnode* load) {
  ins_arc_for_scc(store, load, Wt);
}

opnode* get_first_ld_in_same_p(opnode* w) {
  opnode* first = nullptr;
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* r = ld_mapping(cell);
    if (r->proc_num != w->proc_num || r->inSync != 1) continue;
    if (first == nullptr || r->seq_num < first->seq_num) first = r;
  }
  return first;
}

int_t has_addr_op(opnode* ac, opnode* n) {
  if (!is_acquire(ac) || n->optype == SYNC) err_quit("err in has addr op!");
  const opnode* release = findReleaseForScC(ac, ac->addr);
  for (int_t k = ac->seq_num + 1; k < release->seq_num; ++k) {
    const opnode* x = node_at(ac->proc_num, k);
    if (x->optype != SYNC && x->addr == n->addr && x->val != n->val) return 1;
  }
  return 0;
}

namespace {

[[noreturn]] void report_contradicting_precedence(const opnode* ac1, const opnode* ac3,
                                                  const opnode* n) {
  std::fprintf(state->out, "ac1->sn=%d,ac3->sn=%d\n", ac1->scanIndex, ac3->scanIndex);
  std::fprintf(state->out, "ac1->addr=%d,ac3->addr=%d\n", ac1->addr, ac3->addr);
  std::fprintf(state->out, "ac1[%d][%d],ac3[%d][%d],n[%d][%d]\n", ac1->proc_num, ac1->seq_num,
               ac3->proc_num, ac3->seq_num, n->proc_num, n->seq_num);
  err_quit("err2 in add pre reverse so!");
}

}  // namespace

int_t add_pre_reverse_so(opnode* ac1, opnode* n, opnode* ac2) {
  if (!is_acquire(ac1) || !is_acquire(ac2) || n->optype == SYNC) {
    err_quit("err in add pre reverse so!");
  }
  if (state->isBase != 0) return 0;
  const int_t s = ac1->scanIndex;
  for (opnode* ac3 = ac2->pre; ac3 != nullptr; ac3 = ac3->pre) {
    if (ac3->scanIndex < s) return 0;
    if (ac3->scanIndex != s || has_addr_op(ac3, n) != 1) continue;
    ins_reverse_arc(ac1, ac3, Syn);
    if (session_release(ac1)->scanIndex < session_release(ac3)->scanIndex) {
      report_contradicting_precedence(ac1, ac3, n);
    }
    return 1;
  }
  return 0;
}

namespace {

// Calls visit(r) for every in-session load r of w's reader list that lies on
// another processor than w, in list order.
template <typename Visit>
void for_remote_session_readers(opnode* w, Visit visit) {
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* r = ld_mapping(cell);
    if (r->proc_num != w->proc_num && r->inSync == 1) visit(r);
  }
}

// Store w, or for a store outside every session the first in-session reader
// of its own processor, against the reading sessions of other processors.
void precede_by_earlier_sessions(opnode* w) {
  opnode* n = w;
  if (w->inSync != 1) {
    n = get_first_ld_in_same_p(w);
    if (n == nullptr) return;
  }
  opnode* ac1 = acquireOfCurSync(n);
  for_remote_session_readers(w, [&](opnode* r) {
    opnode* ac2 = acquireOfCurSync(r);
    if (ac1->addr == ac2->addr) add_pre_reverse_so(ac1, n, ac2);
  });
}

// A reading session that lies within scan s precedes the session, also in
// scan s, of the next store of w's processor to the same address.
void precede_overwriting_session(opnode* w) {
  for_remote_session_readers(w, [&](opnode* r) {
    opnode* ac_r = acquireOfCurSync(r);
    const opnode* ac_w = acquireOfCurSync(w);
    if (ac_r->addr != ac_w->addr) return;
    const int_t s = ac_r->scanIndex;
    if (session_release(ac_r)->scanIndex != s || w->nxt == nullptr) return;
    opnode* ac_n = acquireOfCurSync(w->nxt);
    if (ac_n->scanIndex == s) ins_reverse_arc(ac_n, ac_r, Syn);
  });
}

template <typename Visit>
void for_each_store(Visit visit) {
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    for (opnode& n : state->graph[p]) {
      if (n.optype == STORE) visit(&n);
    }
  }
}

}  // namespace

void pre_lmt_sync_optimize() {
  for_each_store(precede_by_earlier_sessions);
  for_each_store([](opnode* w) {
    if (w->inSync == 1) precede_overwriting_session(w);
  });
}

void pre_lmt_sync_baseline() {
  for_each_store(precede_by_earlier_sessions);
}

void pre_lmt_sync() {
  if (state->isBase == 0)
    pre_lmt_sync_optimize();
  else
    pre_lmt_sync_baseline();
}
