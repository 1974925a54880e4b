// Release consistency: carrying arcs to the enclosing lock operations, and
// where an operation lies relative to the sessions of its processor.
#pragma once

#include "qirn.h"

// After an arc u -> v between two processors, adds an arc of the same order
// from the release before or closing u's session to the acquire opening or
// following v's session, where the positions allow one.
void ins_arc_for_rc(opnode* u, opnode* v, ORDER_t order);
// What RC adds beside a write-to arc store -> load: the arc carried to the
// lock operations around it.
void rc_write_to_carry(opnode* store, opnode* load);
// Every release -> the next acquire of the same lock in its processor (LO).
void add_lo_for_sync();
// 1 when the nearest lock operation before u is a release.
int_t is_below_sync(const opnode* u);
// 1 when the nearest lock operation after u is an acquire.
int_t is_up_sync(const opnode* u);
// The release just before u; stops the run unless is_below_sync(u).
opnode* belowFindRelease(const opnode* u);
// The acquire just after u; stops the run unless is_up_sync(u).
opnode* upFindAcquire(const opnode* u);
