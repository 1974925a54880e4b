// Program-order arcs, as far as the model keeps program order.
#pragma once

#include "qirn.h"

// Whether the model keeps program order from u to the later operation v of
// its processor.
bool keeps_order(MCM_t model, const opnode* u, const opnode* v);
int_t add_lo_arc(MCM_t MC);
int_t add_lo_arc_baseline(MCM_t MC);
int_t add_lo_arc_optimize(MCM_t MC);
opnode* findRelease(const opnode* u);
opnode* findAcquire(const opnode* u);
