#include "scc/global_order.h"

#include "bounds/windows.h"
#include "graph/arc_store.h"
#include "report/diagnostics.h"
#include "scc/search_state.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

// Calls visit(r) for every leading in-session load of w1's address that reads
// the initial value, processor by processor.
template <typename Visit>
void for_initial_value_readers(const opnode* w1, Visit visit) {
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    const int_t first = state->firstRead[p][w1->column];
    if (first == -1) continue;
    for (opnode* r = node_at(p, first); r != nullptr && r->val == 0; r = r->nxt) {
      if (r->inSync == 1) visit(r);
    }
  }
}

// Calls visit(r) for every in-session reader of w on another processor.
template <typename Visit>
void for_remote_session_readers(const opnode* w, Visit visit) {
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* r = ld_mapping(cell);
    if (r->proc_num != w->proc_num && r->inSync == 1) visit(r);
  }
}

int_t session_scan(const opnode* n) {
  return acquireOfCurSync(n)->scanIndex;
}

// In optimized mode, a reader whose session lies in a later scan than w1's
// session cannot precede w1.
bool reader_scan_after(const opnode* w1, const opnode* r) {
  return state->isBase == 0 && session_scan(w1) < session_scan(r);
}

int_t ins_first_store_arcs(opnode* w1) {
  if (w1->optype != STORE) err_quit("err2 in ins go arc caused by writes");
  bool refused = false;
  for_initial_value_readers(w1, [&](opnode* r) {
    if (refused || !reader_scan_after(w1, r)) return;
    std::fprintf(state->out, "w1[%d][%d],r[%d][%d]\n", w1->proc_num, w1->seq_num, r->proc_num,
                 r->seq_num);
    refused = true;
  });
  if (refused) return -1;
  int_t requested = 0;
  for_initial_value_readers(w1, [&](opnode* r) {
    ins_arc(r, w1, Co);
    ++requested;
  });
  return requested;
}

bool same_address_stores(const opnode* w, const opnode* w1) {
  return w != nullptr && w->optype == STORE && w1->optype == STORE && w->addr == w1->addr;
}

}  // namespace

int_t ins_go_arc_caused_by_writes(opnode* w, opnode* w1) {
  if (w == nullptr) return ins_first_store_arcs(w1);
  if (!same_address_stores(w, w1)) err_quit("err in ins go arc caused writes!");
  bool refused = false;
  for_remote_session_readers(w, [&](opnode* r) {
    if (refused || !reader_scan_after(w1, r)) return;
    std::fprintf(state->out, "w1[%d][%d],r[%d][%d]\n", w1->proc_num, w1->seq_num, r->proc_num,
                 r->seq_num);
    std::fprintf(state->out, "w[%d][%d]\n", w->proc_num, w->seq_num);
    ins_reverse_arc(w, w1, Co);
    refused = true;
  });
  if (refused) return -1;
  for_remote_session_readers(w, [&](opnode* r) { ins_arc(r, w1, Co); });
  return w->map_ld.n_ld;
}

int_t del_go_arc_caused_by_writes(opnode* w, opnode* w1) {
  if (w == nullptr) {
    if (w1->optype != STORE) err_quit("err2 in del go arc by write!");
    int_t removed = 0;
    for_initial_value_readers(w1, [&](opnode* r) {
      if (del_arc(r, w1, Co) != 0) err_quit("err3 in del go arc by write!");
      ++removed;
    });
    return removed;
  }
  if (!same_address_stores(w, w1)) err_quit("err in del go arc caused writes!");
  for_remote_session_readers(w, [&](opnode* r) {
    if (del_arc(r, w1, Co) != 0) err_quit("err in del go arc caused by writes!");
  });
  return w->map_ld.n_ld;
}

namespace {

// The first store strictly inside the session of acquire sa to address addr.
opnode* first_session_store(const opnode* sa, int_t addr) {
  const opnode* sr = session_release(sa);
  for (int_t k = sa->seq_num + 1; k < sr->seq_num; ++k) {
    opnode* x = node_at(sa->proc_num, k);
    if (x->optype == STORE && x->addr == addr) return x;
  }
  return nullptr;
}

// Where the reading session rs lies against sa2, for a reader on sa1's
// processor. 2 means no verdict: go on with the next reader.
int_t judge_reader_beside_tail(const opnode* rs, const opnode* sa2) {
  if (state->isBase != 0) return 2;
  if (rs->scanIndex > sa2->scanIndex) return -1;
  if (rs->scanIndex < sa2->scanIndex) err_quit("err4 in has ld in other p!");
  return 1;
}

// The same for a reader on another processor than sa1's.
int_t judge_remote_reader(const opnode* r, const opnode* rs, const opnode* sa2, const opnode* w2) {
  const bool optimized = state->isBase == 0;
  if (optimized && rs->scanIndex < sa2->scanIndex) err_quit("err2 in has ld in other p!");
  if (r->proc_num == w2->proc_num) {
    if (rs->seq_num > sa2->seq_num) return -1;
    err_quit("err2 in has ld in other p!");
  }
  if (!optimized) return 2;
  if (rs->scanIndex > sa2->scanIndex) return -1;
  if (rs->scanIndex == sa2->scanIndex) return 1;
  return 2;
}

// Judges the readers of w1 (written in sa1) against sa2, whose session
// overwrites the same address with w2.
int_t judge_readers(const opnode* w1, const opnode* w2, const opnode* sa1, const opnode* sa2) {
  for (const ldnode* cell = w1->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    const opnode* r = ld_mapping(cell);
    if (r->inSync != 1) continue;
    const opnode* rs = acquireOfCurSync(r);
    if (rs == sa1 || rs == sa2) continue;
    int_t verdict = 2;
    if (r->proc_num == sa1->proc_num) {
      if (w2->proc_num == r->proc_num) err_quit("err3 in has ld in other p!");
      verdict = judge_reader_beside_tail(rs, sa2);
    } else {
      verdict = judge_remote_reader(r, rs, sa2, w2);
    }
    if (verdict != 2) return verdict;
  }
  return 0;
}

}  // namespace

int_t hasLdInOtherP(opnode* sa1, opnode* sa2) {
  const opnode* sr1 = session_release(sa1);
  for (int_t k = sa1->seq_num + 1; k < sr1->seq_num; ++k) {
    const opnode* w1 = node_at(sa1->proc_num, k);
    if (w1->optype != STORE) continue;
    const opnode* w2 = first_session_store(sa2, w1->addr);
    if (w2 == nullptr) continue;
    const int_t verdict = judge_readers(w1, w2, sa1, sa2);
    if (verdict != 0) return verdict;
  }
  return 0;
}

namespace {

int_t ins_acquire_order(opnode* n1, opnode* n2) {
  opnode* sr1 = session_release(n1);
  if (check_TO(n2, sr1) == 1) {
    ins_reverse_arc(n1, n2, Syn);
    return -1;
  }
  const int_t h = hasLdInOtherP(n1, n2);
  if (h == 1) return -2;
  if (h == -1) return -1;
  ins_arc(sr1, n2, Syn);
  return 1;
}

}  // namespace

int_t ins_go_so_arc(opnode* n1, opnode* n2) {
  if (n1 == nullptr) {
    if (n2->optype == STORE && ins_go_arc_caused_by_writes(nullptr, n2) == -1) return -1;
    return 1;
  }
  if (n1->optype != n2->optype) err_quit("err in ins go so arc!");
  if (n1->optype != STORE) return ins_acquire_order(n1, n2);
  if (ins_go_arc_caused_by_writes(n1, n2) == -1) {
    ins_reverse_arc(n1, n2, Co);
    return -1;
  }
  ins_arc(n1, n2, check_TO(n1, n2) == 1 ? TCo : Co);
  return 1;
}

int_t del_go_so_arc(opnode* n1, opnode* n2) {
  if (n1 == nullptr) {
    if (n2->optype == STORE) del_go_arc_caused_by_writes(nullptr, n2);
    return 1;
  }
  if (n1->optype != n2->optype || n1->addr != n2->addr) err_quit("err in del go so arc!");
  if (n1->optype == STORE) {
    del_go_arc_caused_by_writes(n1, n2);
    if (check_TO(n1, n2) == 1) {
      if (del_arc(n1, n2, TCo) != 0) err_quit("no tgo in del go so arc!");
    } else if (del_arc(n1, n2, Co) != 0) {
      err_quit("no go in del go so arc!");
    }
    return 1;
  }
  opnode* r = findReleaseForScC(n1, n1->addr);
  if (del_arc(r, n2, Syn) != 0) err_quit("err2 in del go so arc!");
  return 1;
}

opnode* nextStoreOfCurSync(const opnode* n) {
  const opnode* sa = nullptr;
  if (n->optype == SYNC) {
    sa = n;
  } else if (n->optype == STORE) {
    sa = acquireOfCurSync(n);
  } else {
    err_quit("err in nextStoreOfCurSync!");
  }
  const int_t end = session_release(sa)->seq_num;
  for (int_t k = n->seq_num + 1; k < end; ++k) {
    opnode* x = node_at(n->proc_num, k);
    if (x->optype == STORE) return x;
  }
  return nullptr;
}

int_t isTimedSync(const opnode* sa, const NodeMarks& visited) {
  if (!is_acquire(sa)) err_quit("not sync in is timed sync!");
  const int_t s = sa->scanIndex;
  if (session_release(sa)->scanIndex == s) return 1;
  for (int_t q = 0; q < state->NPROCESSOR; ++q) {
    if (q == sa->proc_num) continue;
    const std::vector<opnode*>& row = state->syncInP[q];
    if (s < 0 || static_cast<std::size_t>(s) >= row.size()) continue;
    for (const opnode* x = row[s]; x != nullptr && x->scanIndex == s; x = x->nxt) {
      if (!visited.test(x) && session_release(x)->scanIndex == s) return 0;
    }
  }
  return 1;
}
