// Allocation of the operation graph once the trace lengths are known.
#pragma once

#include "qirn.h"

// Allocates one node per operation (kind OPEND, windows -3), the sentinel
// (windows 0) and, in optimized mode, row 0 of the scan table.
int_t qirn_init();
