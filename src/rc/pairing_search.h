// Release consistency verdict: a chain of release-to-acquire arcs through
// every lock session that keeps the graph free of cycles.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

int_t check_for_rc();
int_t dfs_check_for_rc(opnode* u, NodeMarks& visited);
int_t add_and_check_for_rc(opnode* u, opnode* v);
int_t check_cycle_for_rc();
void del_all_arc(opnode* u, opnode* v, NodeMarks& visited);
void dfs_print_for_rc(opnode* u, NodeMarks& visited);
