// Whether a chain through every lock session exists, decided directly
// instead of searched for.
#pragma once

#include "qirn.h"

// true when some order of all lock sessions, each processor's sessions in
// program order, joined by arcs from each release to the next acquire,
// leaves the graph free of cycles. The graph must have none to begin with,
// and the trace must hold an acquire.
bool complete_chain_exists();
