// Program-order arcs, as far as the model keeps program order.
#pragma once

#include <vector>

#include "qirn.h"

// The arcs that order each fence of the processor after every earlier
// operation and before every later one, as few as do that: from the
// operations since the previous fence (that fence included) to the fence, and
// from the fence to those up to the next one. `link(u, v)` hears of each; an
// operation for which `kept` is false takes no part.
template <typename Kept, typename Link>
void for_each_fence_arc(std::vector<opnode>& operations, Kept kept, Link link) {
  std::size_t since = 0;
  for (std::size_t f = 0; f < operations.size(); ++f) {
    if (operations[f].optype != FENCE || !kept(operations[f])) continue;
    for (std::size_t s = since; s < f; ++s) {
      if (kept(operations[s])) link(operations[s], operations[f]);
    }
    for (std::size_t t = f + 1; t < operations.size() && operations[t].optype != FENCE; ++t) {
      if (kept(operations[t])) link(operations[f], operations[t]);
    }
    since = f;
  }
}

// Whether the model keeps program order from u to the later operation v of
// its processor.
bool keeps_order(MCM_t model, const opnode* u, const opnode* v);
// Whether, in every thread, the operations that a load's times order after
// it form a suffix of the thread: the run has no times, or every operation
// has a begin time and begin times never fall along the thread.
bool times_order_suffixes();
// Where times_order_suffixes() holds: the sequence number of the first
// operation whose begin time lies after the end time of u, a load or RMW, so
// that u keeps its order with it and with every later operation of its
// thread; the thread's length when there is none.
int_t first_stamped_after(const opnode* u);
int_t add_lo_arc(MCM_t MC);
int_t add_lo_arc_baseline(MCM_t MC);
int_t add_lo_arc_optimize(MCM_t MC);
opnode* findRelease(const opnode* u);
opnode* findAcquire(const opnode* u);
