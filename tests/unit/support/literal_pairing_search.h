// The exhaustive pairing search for the release consistency verdict, kept as
// the reference that qirn's direct decision is compared with.
//
// It builds the chain of sessions depth first: from each processor's first
// acquire in turn it tries every continuation in candidate order, keeps an
// arc only while the graph stays free of cycles, and backtracks on a dead
// end. Its running time is exponential in the number of sessions. On a
// violation it replays its first choices, testing every arc in full.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Prints "no violation!" (result 0) when some start completes a chain, or
// replays the first attempt and prints its cycle and "has violation!"
// (result 1). Without acquires it prints nothing and answers 1.
int_t literal_check_for_rc();
// 0: a chain through every session was completed from acquire u; its arcs
// and marks stay. 1: none was; every arc added from here is removed again and
// u's session unmarked.
int_t dfs_check_for_rc(opnode* u, NodeMarks& visited);
// Removes the RO arc u -> v, unmarks v's session, and follows the chain
// onward from that session's release.
void del_all_arc(opnode* u, opnode* v, NodeMarks& visited);
