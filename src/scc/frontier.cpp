#include "scc/frontier.h"

#include <vector>

#include "bounds/windows.h"
#include "graph/arc_store.h"
#include "report/diagnostics.h"
#include "scc/global_order.h"
#include "scc/search_state.h"

int_t locationInFrontier(const opnode* n) {
  if (n == nullptr) err_quit("err in to fl!");
  const int_t base = n->proc_num * location_count() + n->column;
  if (n->optype == STORE) return base;
  if (n->optype == SYNC) return base + state->addrColumns;
  err_quit("not store or sync operation!");
}

opnode* toOperation(const int_t* f, int_t loc) {
  if (loc == -1 || f[loc] == -1) return nullptr;
  return node_at(loc / location_count(), f[loc]);
}

int_t foundTimedPath(opnode* u, opnode* v, NodeMarks& visited) {
  struct Frame {
    opnode* node;
    const oparc* arc;  // the next arc to examine
  };
  thread_local std::vector<Frame> stack;  // reused: one walk per placement
  stack.clear();
  visited.set(u);
  stack.push_back({u, u->pointTo});
  while (!stack.empty()) {
    Frame& top = stack.back();
    const oparc* arc = top.arc;
    if (arc == nullptr) {
      stack.pop_back();
      continue;
    }
    top.arc = arc->nxtarc;
    if (++state->walkSteps > state->walkLimit) throw SearchAbandoned{};
    opnode* op = arc->nptr;
    // An operation timed after v is not entered; the node's other arcs may
    // still lead back to v.
    if (check_TO(v, op) == 1) continue;
    if (op == v || check_TO(op, v) == 1) return 1;
    if (!visited.test(op)) {
      visited.set(op);
      stack.push_back({op, op->pointTo});
    }
  }
  return 0;
}

int_t modifyFrontier(int_t* f, int_t, int_t nloc, int_t seq, opnode* tail) {
  if (f[nloc] == seq) err_quit("err in modify f");
  opnode* next = node_at(nloc / location_count(), seq);
  if (tail != nullptr && (tail->optype != next->optype || tail->addr != next->addr)) {
    err_quit("err2 in modify f");
  }
  const int_t res = ins_go_so_arc(tail, next);
  if (res == -1) return -1;
  if (res == -2) return 0;
  thread_local NodeMarks scratch;
  scratch.clear();
  if (foundTimedPath(next, next, scratch) == 1) {
    del_go_so_arc(tail, next);
    return 0;
  }
  return 1;
}

int_t delModifiedF(int_t* f, int_t, int_t loc, opnode* tail, int_t seq) {
  if (loc == -1 || f[loc] == -1) err_quit("err in del Mf!");
  if (f[loc] != seq) err_quit("err3 in del mf!");
  opnode* next = node_at(loc / location_count(), f[loc]);
  if (tail != nullptr && tail->optype == STORE && has_arc(tail, next, TCo) == 0 &&
      has_arc(tail, next, Co) == 0) {
    std::fprintf(state->out, "%d,%d  %d,%d\n", tail->proc_num, tail->seq_num, next->proc_num,
                 next->seq_num);
    std::fprintf(state->out, "loc=%d\n", loc);
    err_quit("err2 in del mf!");
  }
  del_go_so_arc(tail, next);
  return 0;
}

namespace {

// The first operation of the location, -1 when the processor has none there.
int_t first_at_location(int_t p, int_t a) {
  if (a < state->addrColumns) return state->firstWrite[p][a];
  return state->firstSync[p][a - state->addrColumns];
}

// 0 at the first location that has operations and is not at its end, among
// those that `considered` accepts; otherwise 1.
template <typename Considered>
int_t frontier_complete(const int_t* f, int_t size, Considered considered) {
  const int_t num = location_count();
  for (int_t loc = 0; loc < size; ++loc) {
    const int_t p = loc / num;
    const int_t a = loc % num;
    if (!considered(a) || first_at_location(p, a) == -1) continue;
    if (f[loc] == -1 || node_at(p, f[loc])->nxt != nullptr) return 0;
  }
  return 1;
}

}  // namespace

int_t is_last_frontier_new(const int_t* f, int_t size) {
  return frontier_complete(f, size, [](int_t) { return true; });
}

int_t is_last_frontier_with_lock(const int_t* f, int_t size) {
  return frontier_complete(f, size, [](int_t a) { return a >= state->addrColumns; });
}

int_t is_last_frontier_without_lock(const int_t* f, int_t size) {
  return frontier_complete(f, size, [](int_t) { return true; });
}

int_t is_last_frontier(const int_t* f, int_t size) {
  if (state->lockNum >= 1) return is_last_frontier_with_lock(f, size);
  return is_last_frontier_without_lock(f, size);
}
