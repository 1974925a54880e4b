// Cycle detection over the order graph, and the printed witness.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// 1 when a cycle was found and printed, else 0.
int_t check_cycle();
int_t dfs_check(opnode* u, opnode* v, NodeMarks& visited);
int_t dfs_check_optimize(opnode* u, opnode* v, NodeMarks& visited);
int_t dfs_check_baseline(opnode* u, opnode* v, NodeMarks& visited);
int_t dfs_print(opnode* u, opnode* v, NodeMarks& visited);
