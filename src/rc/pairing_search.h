// Release consistency verdict: whether a chain of release-to-acquire arcs
// (RO) through every lock session keeps the graph free of cycles, and, when
// none does, the replay that prints the cycle its first choices run into.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Prints "no violation!" (result 0) when a chain through every session
// exists; otherwise replays the chain from the first acquire of the
// lowest-numbered processor and prints the cycle it meets and
// "has violation!" (result 1). Without acquires it prints nothing and
// answers 1.
int_t check_for_rc();
// Adds the RO arc from release u to acquire v and answers 1 when the graph
// now has a cycle; the arc stays either way. The graph must have had none.
int_t add_and_check_for_rc(opnode* u, opnode* v);
// 1 when the graph has a cycle, as check_cycle would find it; prints nothing.
int_t check_cycle_for_rc();
// Follows the chain from acquire u, always taking the first candidate, and
// prints the cycle that the first refused arc closes; prints nothing when
// the candidates run out first.
void dfs_print_for_rc(opnode* u, NodeMarks& visited);
