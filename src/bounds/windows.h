// Pending windows and the timed-before test.
#pragma once

#include "qirn.h"

// Computes every operation's pending window from the scan table. Bound
// columns that never decrease (as every real scan log's) take a shortcut that
// gives the same windows.
void calculatePendingWindow();
// The same windows computed range by range, whatever the bounds.
void pending_windows_range_by_range();
// 1 when the bounds prove that u completed before v was issued. Every search
// asks this for most arcs it follows, so it lives here to be inlined.
inline int_t check_TO(const opnode* u, const opnode* v) {
  if (state->isBase == 1) return 0;
  if (u == &state->sentinel) return 1;
  if (v == &state->sentinel) return 0;
  // u completed before v was issued, and v was issued after u's window.
  return u->seq_num < v->lpw[u->proc_num] && u->upw[v->proc_num] < v->seq_num ? 1 : 0;
}
