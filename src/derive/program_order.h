// Program-order arcs, as far as the model keeps program order.
#pragma once

#include "qirn.h"

int_t add_lo_arc(MCM_t MC);
int_t add_lo_arc_baseline(MCM_t MC);
int_t add_lo_arc_optimize(MCM_t MC);
opnode* findRelease(const opnode* u);
opnode* findAcquire(const opnode* u);
