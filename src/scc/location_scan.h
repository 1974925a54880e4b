// Next-location scan of the multi-lock search: which frontier location
// advances next, and to which operation.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Sequence number that location loc advances to, -1 when its chain is done.
int_t find_next_operation(const int_t* f, int_t loc);
int_t find_next_operation_with_lock(const int_t* f, int_t loc);
int_t find_next_operation_without_lock(const int_t* f, int_t loc);

// The next eligible location of one level's cyclic pass, which starts right
// after `lastOpLoc` (at 0 for the root); ploc is the location tried last at
// this level (-1 on the level's first call). -1 when the pass is over.
int_t findNextFrontierNew_bfs(const int_t* f, int_t size, int_t ploc, const NodeMarks& visited);
int_t findNextFrontierNew_bfs_with_lock(const int_t* f, int_t size, int_t ploc,
                                        const NodeMarks& visited);
int_t findNextFrontierNew_bfs_without_lock(const int_t* f, int_t size, int_t ploc,
                                           const NodeMarks& visited);

// 1 when every store that the reverse arcs at store w name is placed.
int_t isQualifiedWrite(const opnode* w, const NodeMarks& visited);
