// Write-to arcs from stores to the loads that read them, and inferred arcs.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// What a model adds beside each write-to arc store -> load it inserts (RC
// and ScC: an order between the lock sessions around the two); null for
// nothing.
using WriteToCarry = void (*)(opnode* store, opnode* load);

int_t add_wt_arc(WriteToCarry carry = nullptr);
int_t add_io_arc();
// Without `ownReaders`, a store is overwritten after the loads that read it
// over a write-to arc only: the rule that baseline SC and PC print their
// cycles by wherever it finds one (see baseline/cycle_check.h).
int_t add_io_arc_baseline(bool ownReaders = true);
int_t add_io_arc_optimize();
int_t check_go(opnode* u, opnode* v);
int_t dfs_go(opnode* u, opnode* v, opnode* op, NodeMarks& visited);
int_t op_in_pw(const opnode* u, const opnode* v);
