// Release consistency verdict: a chain of release-to-acquire arcs (RO)
// through every lock session that keeps the graph free of cycles.
//
// Marks come in pairs: a session's acquire and release are set together
// while the session lies on the chain being built, and cleared together.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Tries a chain from the first acquire of every processor in turn; prints
// "no violation!" (result 0) or replays the first attempt and prints the
// cycle and "has violation!" (result 1). Without acquires it prints nothing
// and answers 1.
int_t check_for_rc();
// 0: a chain through every session was completed from acquire u; its arcs
// and marks stay. 1: none was; every arc added from here is removed again and
// u's session unmarked.
int_t dfs_check_for_rc(opnode* u, NodeMarks& visited);
// Adds the RO arc from release u to acquire v and answers 1 when the graph
// now has a cycle; the arc stays either way. The graph must have had none.
int_t add_and_check_for_rc(opnode* u, opnode* v);
// 1 when the graph has a cycle, as check_cycle would find it; prints nothing.
int_t check_cycle_for_rc();
// Removes the RO arc u -> v, unmarks v's session, and follows the chain
// onward from that session's release.
void del_all_arc(opnode* u, opnode* v, NodeMarks& visited);
// Replays the search from acquire u without backtracking and prints the
// cycle that the first refused arc closes.
void dfs_print_for_rc(opnode* u, NodeMarks& visited);
