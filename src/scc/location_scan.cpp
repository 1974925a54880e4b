#include "scc/location_scan.h"

#include "report/diagnostics.h"
#include "scc/search_state.h"

namespace {

int_t next_operation(const int_t* f, int_t loc) {
  if (loc == -1) err_quit("err in find next operation!");
  const int_t num = location_count();
  const int_t p = loc / num;
  const int_t a = loc % num;
  if (f[loc] == -1) {
    if (a >= state->addrColumns) return state->firstSync[p][a - state->addrColumns];
    return state->firstWrite[p][a];
  }
  const opnode* next = node_at(p, f[loc])->nxt;
  return next == nullptr ? -1 : next->seq_num;
}

// Whether location loc can advance now. Acquires are never held back here;
// stores wait for the stores their reverse arcs name.
bool eligible(const int_t* f, int_t loc, bool with_lock, const NodeMarks& visited) {
  const int_t num = location_count();
  const int_t p = loc / num;
  const int_t a = loc % num;
  const bool lock_location = a >= state->addrColumns;
  if (lock_location && !with_lock) return false;
  const opnode* next = nullptr;
  if (f[loc] == -1) {
    const int_t first =
        lock_location ? state->firstSync[p][a - state->addrColumns] : state->firstWrite[p][a];
    if (first == -1) return false;
    next = node_at(p, first);
  } else {
    next = node_at(p, f[loc])->nxt;
    if (next == nullptr) return false;
  }
  return next->optype == SYNC || isQualifiedWrite(next, visited) == 1;
}

int_t next_location(const int_t* f, int_t size, int_t ploc, bool with_lock,
                    const NodeMarks& visited) {
  const int_t last = state->lastOpLoc == -1 ? size - 1 : state->lastOpLoc;
  if (ploc == last) return -1;
  int_t loc = ((ploc == -1 ? state->lastOpLoc : ploc) + 1) % size;
  while (true) {
    if (eligible(f, loc, with_lock, visited)) return loc;
    if (loc == last) return -1;
    loc = (loc + 1) % size;
  }
}

}  // namespace

int_t find_next_operation_with_lock(const int_t* f, int_t loc) {
  return next_operation(f, loc);
}

int_t find_next_operation_without_lock(const int_t* f, int_t loc) {
  return next_operation(f, loc);
}

int_t find_next_operation(const int_t* f, int_t loc) {
  if (state->lockNum >= 1) return find_next_operation_with_lock(f, loc);
  return find_next_operation_without_lock(f, loc);
}

int_t findNextFrontierNew_bfs_with_lock(const int_t* f, int_t size, int_t ploc,
                                        const NodeMarks& visited) {
  return next_location(f, size, ploc, true, visited);
}

int_t findNextFrontierNew_bfs_without_lock(const int_t* f, int_t size, int_t ploc,
                                           const NodeMarks& visited) {
  return next_location(f, size, ploc, false, visited);
}

int_t findNextFrontierNew_bfs(const int_t* f, int_t size, int_t ploc, const NodeMarks& visited) {
  if (state->lockNum >= 1) return findNextFrontierNew_bfs_with_lock(f, size, ploc, visited);
  return findNextFrontierNew_bfs_without_lock(f, size, ploc, visited);
}

int_t isQualifiedWrite(const opnode* w, const NodeMarks& visited) {
  if (w->optype != STORE) err_quit("w is not write!");
  if (w->pointed == 0) return 1;
  for (const roparc* arc = w->pointFrom; arc != nullptr; arc = arc->nxtarc) {
    if (arc->order != Co || arc->nptr->optype != STORE) err_quit("err in is qulified write!");
    if (!visited.test(arc->nptr)) return 0;
  }
  return 1;
}
