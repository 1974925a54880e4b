// Next-operation selection of the one-lock search.
//
// Inside a session the order is fixed: after its acquire, the session's
// stores follow one by one. At a session boundary the candidates are the next
// unplaced acquires of the processors; called again with a candidate that was
// tried and taken back, a selector offers the next alternative, on a later
// processor.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Optimized mode: sessions in scan order. prev is null at the root.
opnode* selectNextOp(const opnode* prev, const NodeMarks& visited);
// Baseline mode: the first qualified session in processor order.
opnode* selectNextOp_wt_new(const opnode* prev, const NodeMarks& visited);

// 1 when every operation named by the reverse arcs at n is placed.
int_t isQualifiedOp(const opnode* n, const NodeMarks& visited);
// 1 when no processor has an unstarted session in a scan up to sn.
int_t isLastOpInScan(int_t sn);
// The first acquire after prev on its processor, or null.
opnode* findNextOpInScan(const opnode* prev);
