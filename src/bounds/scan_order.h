// Time order read straight off the scans.
//
// A scan that found u completed (u below its lb) and v not yet issued (v at
// or above its ub) proves that u finished before v began. The pending
// windows give this up to one operation at either end; this order keeps the
// difference, so a load issued after a scan that saw a newer store completed
// is known to come after that store.
#pragma once

#include "qirn.h"

// Records, for every operation, the first scan its processor's bound file
// wrote that found it completed. Optimized mode, after the bound files.
void calculateCompletionScans();
// The first operation of q that the scan which first found u completed saw
// not yet issued: u precedes it and every later one of q. procOpNum[q] when
// no written scan of q is there to tell. Inline: the time-order graph asks
// it for every operation and processor.
inline int_t first_issued_after(const opnode* u, int_t q) {
  const auto computed = static_cast<int_t>(state->completionScan.size());
  const int_t k = u == &state->sentinel || u->id >= computed ? 0 : state->completionScan[u->id];
  const bool written = k != 0 && k >= state->firstScanRow[q] && k <= state->lastScanRow[q];
  return written ? state->scan.ub(k, q) : state->procOpNum[q];
}

// 1 when some scan found u completed and v not yet issued.
inline int_t scan_before(const opnode* u, const opnode* v) {
  if (state->isBase == 1 || u == &state->sentinel || v == &state->sentinel) return 0;
  return v->seq_num >= first_issued_after(u, v->proc_num) ? 1 : 0;
}
