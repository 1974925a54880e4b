// The cycle printed when no single walk closes one: a breadth-first search
// over operations whose steps are stored arcs and timed-before pairs.
#pragma once

#include <vector>

#include "qirn.h"

// A cycle through u with the fewest steps, as the nodes met from u back to u
// (u at both ends); empty when u lies on no cycle. One step is one printed
// link: a stored arc, or a pair of operations that time orders (the pending
// windows, and with `scans` the scans' own order too).
//
// The search meets operations breadth first from u. The successors of an
// operation x are, in this order, the targets of its stored arcs in list
// order, then the operations x is timed before in processor then sequence
// order; each operation is met once, from the first operation that leads to
// it. The cycle closes at the first operation met that leads to u.
std::vector<opnode*> shortest_cycle_through(opnode* u, bool scans);
