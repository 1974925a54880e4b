// The only code that changes arc lists.
//
// A `pointTo` list holds its arcs of orders other than RO and Syn newest
// first, followed by its RO and Syn arcs oldest first; every walk over arcs
// depends on that order.
#pragma once

#include "qirn.h"

// 0 when the arc u -> v was inserted; 1 when u is the sentinel or it exists.
int_t ins_arc(opnode* u, opnode* v, ORDER_t order);
// Records at u that v must precede it; duplicates are kept. Always 0.
int_t ins_reverse_arc(opnode* u, opnode* v, ORDER_t order);
// 1 when u's list holds the arc u -> v of this order.
int_t has_arc(const opnode* u, const opnode* v, ORDER_t order);
// 0 when the arc was found and deleted, 1 when it was absent.
int_t del_arc(opnode* u, opnode* v, ORDER_t order);
