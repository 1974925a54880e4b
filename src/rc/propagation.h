// Release consistency: carrying arcs to the enclosing lock operations.
#pragma once

#include "qirn.h"

void ins_arc_for_rc(opnode* u, opnode* v, ORDER_t order);
void add_lo_for_sync();
int_t is_below_sync(const opnode* u);
int_t is_up_sync(const opnode* u);
opnode* belowFindRelease(const opnode* u);
opnode* upFindAcquire(const opnode* u);
