#include "scc/selection.h"

#include "report/diagnostics.h"
#include "scc/global_order.h"
#include "scc/search_state.h"
#include "trace/sessions.h"

int_t isQualifiedOp(const opnode* n, const NodeMarks& visited) {
  if (n->optype != STORE && n->optype != SYNC) err_quit("w is not write or sync!");
  if (n->pointed == 0) return 1;
  for (const roparc* arc = n->pointFrom; arc != nullptr; arc = arc->nxtarc) {
    if (!visited.test(arc->nptr)) return 0;
  }
  return 1;
}

// The scan starts just after prev: the operations up to prev are never the
// answer, so a search that walks forward through a long trace pays only for
// the gap to the next acquire, not for the whole prefix each time.
opnode* findNextOpInScan(const opnode* prev) {
  if (prev == nullptr) err_quit("err in find next op in scan!");
  // Only the operations after prev are looked at: a walk from the start would
  // make every search step cost the length of the trace.
  auto& operations = state->graph[prev->proc_num];
  for (std::size_t s = static_cast<std::size_t>(prev->seq_num) + 1; s < operations.size(); ++s) {
    if (is_acquire(&operations[s])) return &operations[s];
  }
  return nullptr;
}

namespace {

// The acquire that opens the session of a placed store or acquire.
const opnode* session_of(const opnode* n) {
  return n->optype == STORE ? acquireOfCurSync(n) : n;
}

}  // namespace

int_t isLastOpInScan(int_t sn) {
  if (sn < 0) err_quit("sn < 0!");
  for (int_t i = 0; i < state->NPROCESSOR; ++i) {
    const int_t last = state->lastOpOfProc[i];
    if (last < 0) {
      const opnode* first = first_acquire(i);
      if (first != nullptr && first->scanIndex <= sn) return 0;
      continue;
    }
    const opnode* sa = session_of(node_at(i, last));
    if (sa->scanIndex > sn) err_quit("err in is last op in scan!");
    if (sa->nxt != nullptr && sa->nxt->scanIndex <= sn) return 0;
  }
  return 1;
}

namespace {

bool placed_last(const opnode* prev) {
  return state->lastOpOfProc[prev->proc_num] == prev->seq_num;
}

opnode* root_in_scan_order(const NodeMarks& visited) {
  const int_t rows = state->syncInP.empty() ? 0 : static_cast<int_t>(state->syncInP[0].size());
  for (int_t s = 0; s < rows; ++s) {
    for (int_t i = 0; i < state->NPROCESSOR; ++i) {
      opnode* x = state->syncInP[i][s];
      if (x != nullptr && isTimedSync(x, visited) == 1) return x;
    }
  }
  return nullptr;
}

// The one candidate processor i offers in optimized mode, or null.
opnode* offered_in_scan(int_t i, const NodeMarks& visited) {
  const int_t last = state->lastOpOfProc[i];
  opnode* c = last == -1 ? first_acquire(i) : findNextOpInScan(node_at(i, last));
  if (c == nullptr || isQualifiedOp(c, visited) != 1 || isTimedSync(c, visited) != 1) {
    return nullptr;
  }
  return c;
}

[[noreturn]] void report_scan_regression(const opnode* c, int_t s, const opnode* prev) {
  std::fprintf(state->out, "n2[%d][%d],n2->sn=%d,s=%d,n1[%d][%d],n1->sn=%d\n", c->proc_num,
               c->seq_num, c->scanIndex, s, prev->proc_num, prev->seq_num, prev->scanIndex);
  std::fprintf(state->out, "lstOpInP[0]=%d\n", state->lastOpOfProc[0]);
  err_quit("err in select next op!");
}

}  // namespace

opnode* selectNextOp(const opnode* prev, const NodeMarks& visited) {
  if (prev == nullptr) return root_in_scan_order(visited);
  int_t s = 0;
  int_t start = 0;
  const bool after_placement = placed_last(prev);
  if (after_placement) {
    opnode* store = nextStoreOfCurSync(prev);
    if (store != nullptr) return store;
    const int_t sp = session_of(prev)->scanIndex;
    s = isLastOpInScan(sp) == 1 ? sp + 1 : sp;
  } else {
    if (prev->optype != SYNC) err_quit("not sync in select next op!");
    s = prev->scanIndex;
    start = prev->proc_num + 1;
  }
  // Neither placed last nor taken back: the processor has moved past prev,
  // which no search level produces.
  const bool stale = !after_placement && state->lastOpOfProc[prev->proc_num] > prev->seq_num;
  opnode* best = nullptr;
  for (int_t i = start; i < state->NPROCESSOR; ++i) {
    opnode* c = offered_in_scan(i, visited);
    if (c == nullptr) continue;
    if (stale) err_quit("?????");
    if (c->scanIndex == s) return c;
    if (best == nullptr || c->scanIndex < best->scanIndex) best = c;
  }
  if (best == nullptr || !after_placement) return nullptr;
  if (best->scanIndex < s) report_scan_regression(best, s, prev);
  return best;
}

opnode* selectNextOp_wt_new(const opnode* prev, const NodeMarks& visited) {
  if (prev == nullptr) {
    for (int_t i = 0; i < state->NPROCESSOR; ++i) {
      const int_t first = state->firstSync[i][0];
      if (first != -1 && isQualifiedOp(node_at(i, first), visited) == 1) return node_at(i, first);
    }
    return nullptr;
  }
  int_t start = 0;
  if (placed_last(prev)) {
    opnode* store = nextStoreOfCurSync(prev);
    if (store != nullptr) return store;
  } else {
    if (prev->optype != SYNC) err_quit("not sync in select next op wt!");
    start = prev->proc_num + 1;
  }
  for (int_t i = start; i < state->NPROCESSOR; ++i) {
    const int_t last = state->lastOpOfProc[i];
    if (i == prev->proc_num && last != prev->seq_num) err_quit("err in new wt select op!");
    if (last == -1) {
      const int_t first = state->firstSync[i][0];
      if (first == -1) err_quit("no sync in one p!");
      if (isQualifiedOp(node_at(i, first), visited) == 1) return node_at(i, first);
      continue;
    }
    const opnode* t = node_at(i, last);
    if (t->optype == STORE) {
      if (t->inSync != 1) {
        std::fprintf(state->out, "i=%d,j=%d\n", t->proc_num, t->seq_num);
        err_quit("store not in sync!");
      }
      t = acquireOfCurSync(t);
    }
    if (t->nxt != nullptr && isQualifiedOp(t->nxt, visited) == 1) return t->nxt;
  }
  return nullptr;
}
