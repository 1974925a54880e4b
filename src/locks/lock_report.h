// The lines of a lock-model decision, printed where the model's search of
// old reaches another verdict or none (see run/driver.cpp).
#pragma once

#include "locks/lock_order.h"

// RC: "no violation!", or the proving cycle's line (empty when no single cycle
// proves it) and "has violation!".
void print_rc_decision(const LockDecision& decision);
// ScC: "ScC", the line that opens the search of the mode, the proving cycle
// under "Find a consistency violation:" when there is one, then "no cycle!" or
// "no path can be found!".
void print_scc_decision(const LockDecision& decision);
