// Frontier stepping: converting between operations and frontier locations,
// placing one operation behind the tail of its location (with the cycle and
// time-bound test through it), taking a placement back, and the end tests.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Frontier location of a store or acquire.
int_t locationInFrontier(const opnode* n);
// The operation placed at frontier location loc, or null (also for loc -1).
opnode* toOperation(const int_t* f, int_t loc);

// Places operation seq of processor nloc / num behind tail. 1 placed; 0
// refused softly (nothing stays inserted); -1 refused hard (a recorded
// precedence may stay). The caller writes the frontier entry itself.
int_t modifyFrontier(int_t* f, int_t size, int_t nloc, int_t seq, opnode* tail);
// Takes back the arcs of the placement at loc, before the caller restores
// the frontier entry. Always 0.
int_t delModifiedF(int_t* f, int_t size, int_t loc, opnode* tail, int_t seq);

// 1 when the arcs lead from u back to v, or to an operation that the time
// bounds place before v.
int_t foundTimedPath(opnode* u, opnode* v, NodeMarks& visited);

// 1 when every location that has operations is at its end.
int_t is_last_frontier_new(const int_t* f, int_t size);
int_t is_last_frontier(const int_t* f, int_t size);
int_t is_last_frontier_with_lock(const int_t* f, int_t size);
int_t is_last_frontier_without_lock(const int_t* f, int_t size);
