// Cycle tests for the release-acquire pairing search. Both answer what
// check_cycle would find (a walk from every operation with fresh marks, the
// time bounds included in optimized mode), without printing anything.
#pragma once

#include "qirn.h"

// 1 when some operation's walk closes a cycle.
int_t graph_has_cycle();
// The same answer after the arc release -> acquire was just added to a graph
// in which no walk closed a cycle; only walks that can meet the new arc are
// repeated.
int_t cycle_after_arc(opnode* release, opnode* acquire);
