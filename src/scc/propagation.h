// Scope consistency: session precedences recorded before the frontier search.
//
// A precedence "the session of acquire y comes before the session of acquire
// x" is a reverse arc at x naming y. The search only places a session once
// every session named at its acquire is placed.
#pragma once

#include "qirn.h"

// For a write-to arc u -> v between sessions of one lock on two processors,
// records that u's session precedes v's. 1 when a precedence was recorded.
int_t ins_arc_for_scc(opnode* u, opnode* v, ORDER_t order);
// What ScC adds beside a write-to arc store -> load: the precedence of the
// store's session, if any.
void scc_write_to_carry(opnode* store, opnode* load);

// Adds the precedences that the scan numbers prove (optimized mode only).
void pre_lmt_sync();
void pre_lmt_sync_optimize();
void pre_lmt_sync_baseline();

// ac1 is the session of n; ac2 the session, on another processor, of a load
// reading the store behind n. Records that the nearest earlier session of
// ac2's processor in ac1's scan that touched n's address with another value
// precedes ac1. 1 when a precedence was recorded.
int_t add_pre_reverse_so(opnode* ac1, opnode* n, opnode* ac2);
// 1 when the session of acquire ac accesses n's address with another value.
int_t has_addr_op(opnode* ac, opnode* n);
// The earliest in-session load of w's own processor that reads store w.
opnode* get_first_ld_in_same_p(opnode* w);
