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
// Links u -> v of order LO at the head of u's list as ins_arc would, but
// leaves it out of the index. For program order under SC and PC: each of its
// arcs is inserted once, none is deleted, and no test asks for one through
// the index, which on long traces would otherwise hold mostly these.
void link_program_order_arc(opnode* u, opnode* v);
// 1 when the index holds the arc u -> v of this order (every arc but those
// of link_program_order_arc).
int_t has_arc(const opnode* u, const opnode* v, ORDER_t order);
// Whether u's list holds the arc u -> v of this order; walks the list.
bool list_holds(const opnode* u, const opnode* v, ORDER_t order);
// 0 when the arc was found and deleted, 1 when it was absent.
int_t del_arc(opnode* u, opnode* v, ORDER_t order);
