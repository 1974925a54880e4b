#include "derive/program_order.h"

#include <algorithm>
#include <cstdio>

#include "graph/arc_store.h"
#include "report/diagnostics.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

// A half-open range [lo, hi) of sequence numbers of one processor.
struct SeqRange {
  int_t lo;
  int_t hi;
};

// The candidates that u's window offers in processor p: lpw[p] up to
// upw[p], both ends inside the window, clamped to the processor's operations
// so that windows that were never computed (or reach past the trace) read
// nothing outside it. The operation at upw[p] is not timed after u, so
// leaving it out would lose its order with u altogether.
SeqRange window_range(const opnode* u, int_t p) {
  const int_t count = state->procOpNum[p];
  const int_t upper = u->upw[p] < 0 ? u->upw[p] : u->upw[p] + 1;
  return {std::max(u->lpw[p], 0), std::min(upper, count)};
}

SeqRange candidate_range(const opnode* u, bool optimized) {
  const int_t p = u->proc_num;
  if (optimized) return window_range(u, p);
  return {0, state->procOpNum[p]};
}

void add_processor_consistent_arcs(MCM_t model, opnode* u, bool optimized) {
  const SeqRange range = candidate_range(u, optimized);
  for (int_t k = std::max(range.lo, u->seq_num + 1); k < range.hi; ++k) {
    opnode* v = node_at(u->proc_num, k);
    if (keeps_order(model, u, v)) link_program_order_arc(u, v);
  }
}

// Acquire -> every operation inside its session, each of them -> the
// release, and acquire -> release.
void add_release_consistent_arcs(opnode* u, bool optimized) {
  opnode* w = findRelease(u);
  const int_t p = u->proc_num;
  const SeqRange from_acquire = candidate_range(u, optimized);
  for (int_t k = std::max(from_acquire.lo, u->seq_num + 1);
       k < std::min(from_acquire.hi, w->seq_num); ++k) {
    ins_arc(u, node_at(p, k), LO);
  }
  const SeqRange to_release = candidate_range(w, optimized);
  for (int_t k = std::max(to_release.lo, u->seq_num + 1); k < std::min(to_release.hi, w->seq_num);
       ++k) {
    ins_arc(node_at(p, k), w, LO);
  }
  ins_arc(u, w, LO);
}

void add_scope_consistent_arcs(opnode* u) {
  opnode* w = findReleaseForScC(u, u->addr);
  for (int_t k = u->seq_num + 1; k < w->seq_num; ++k) {
    opnode* inner = node_at(u->proc_num, k);
    ins_arc(u, inner, LO);
    ins_arc(inner, w, LO);
  }
  ins_arc(u, w, LO);
}

// Every in-session store -> the next in-session store to its address.
void add_scope_store_chains() {
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      if (node.optype == STORE && node.nxt != nullptr) ins_arc(&node, node.nxt, LO);
    }
  }
}

// Under RC and ScC, whose arcs above keep no order across a fence.
void add_fence_arcs() {
  for (auto& operations : state->graph) {
    for_each_fence_arc(
        operations, [](const opnode&) { return true; },
        [](opnode& u, opnode& v) { ins_arc(&u, &v, LO); });
  }
}

int_t add_lo_arc_variant(MCM_t model, bool optimized) {
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      opnode* u = &node;
      if (model != RC && model != ScC) {
        add_processor_consistent_arcs(model, u, optimized);
      } else if (is_acquire(u)) {
        if (model == RC)
          add_release_consistent_arcs(u, optimized);
        else
          add_scope_consistent_arcs(u);
      }
    }
  }
  if (model == ScC) add_scope_store_chains();
  if (model == RC || model == ScC) add_fence_arcs();
  return 0;
}

}  // namespace

namespace {

// Under TSO and PSO a load that reads a store of its own processor may take
// it from the store buffer before any other processor sees it: the load is
// then not ordered after that store, nor after the stores to its address
// before it, which reach the buffered one anyway. Any later store to the
// address sits between them in the buffer, so the load stays after that one.
bool forwarded_past(const opnode* store, const opnode* load) {
  if (store->optype != STORE || load->optype != LOAD || store->addr != load->addr) return false;
  const opnode* read = st_mapping(load);
  return read != &state->sentinel && read->proc_num == load->proc_num &&
         read->seq_num >= store->seq_num && read->seq_num < load->seq_num;
}

// TSO: a load before anything later, a store before later stores, and
// accesses to one address in order; PSO keeps stores in order only per
// address. Fences, and acquires and releases (which drain the buffer), order
// everything. An RMW is a load and a store at once: nothing later passes it,
// and it passes no earlier store under TSO, nor one of its address under PSO.
bool buffer_keeps_order(MCM_t model, const opnode* u, const opnode* v) {
  if (!is_access(u) || !is_access(v) || reads_memory(u)) return true;
  if (writes_memory(v)) return model == TSO || u->addr == v->addr;
  return u->addr == v->addr && !forwarded_past(u, v);
}

// A load or an RMW whose end time lies before the begin time of a later
// operation of its thread completed before that one began.
bool stamped_before(const opnode* u, const opnode* v) {
  if (state->operationTimes.empty() || !reads_memory(u)) return false;
  const auto& times = state->operationTimes[u->proc_num];
  const auto& end = times[u->seq_num].end;
  const auto& begin = times[v->seq_num].begin;
  return end && begin && *end < *begin;
}

}  // namespace

bool times_order_suffixes() {
  for (const auto& times : state->operationTimes) {
    for (std::size_t k = 0; k < times.size(); ++k) {
      if (!times[k].begin || (k > 0 && *times[k].begin < *times[k - 1].begin)) return false;
    }
  }
  return true;
}

int_t first_stamped_after(const opnode* u) {
  const int_t none = state->procOpNum[u->proc_num];
  if (state->operationTimes.empty() || !reads_memory(u)) return none;
  const auto& times = state->operationTimes[u->proc_num];
  const auto& end = times[u->seq_num].end;
  if (!end) return none;
  const auto later =
      std::partition_point(times.begin() + u->seq_num + 1, times.end(),
                           [&](const OperationTimes& t) { return *t.begin <= *end; });
  return static_cast<int_t>(later - times.begin());
}

namespace {

// WMO: only accesses to one address keep their order, as under PSO, and
// whatever the times show completed before the other began; fences, and
// acquires and releases, order everything.
bool weak_keeps_order(const opnode* u, const opnode* v) {
  if (!is_access(u) || !is_access(v)) return true;
  if (u->addr == v->addr && buffer_keeps_order(PSO, u, v)) return true;
  return stamped_before(u, v);
}

}  // namespace

bool keeps_order(MCM_t model, const opnode* u, const opnode* v) {
  if (model == SC || u->optype == FENCE || v->optype == FENCE) return true;
  if (model == WMO) return weak_keeps_order(u, v);
  if (model == TSO || model == PSO) return buffer_keeps_order(model, u, v);
  return u->addr == v->addr || writes_memory(v) || reads_memory(u);
}

int_t add_lo_arc(MCM_t MC) {
  return state->isBase == 0 ? add_lo_arc_optimize(MC) : add_lo_arc_baseline(MC);
}

int_t add_lo_arc_baseline(MCM_t MC) {
  return add_lo_arc_variant(MC, false);
}

int_t add_lo_arc_optimize(MCM_t MC) {
  return add_lo_arc_variant(MC, true);
}

opnode* findRelease(const opnode* u) {
  opnode* next = lock_op_after(u);
  if (next == nullptr) err_quit("the RC program for testing has errors!");
  if (is_release(next)) return next;
  std::fprintf(state->out, "release,%d,%d\n", u->proc_num, u->seq_num);
  err_quit("the RC program has errors!");
}

opnode* findAcquire(const opnode* u) {
  opnode* previous = lock_op_before(u);
  if (previous == nullptr) err_quit("the RC program for testing has errors!");
  if (is_acquire(previous)) return previous;
  std::fprintf(state->out, "acquire,%d,%d\n", u->proc_num, u->seq_num);
  err_quit("the RC program has errors!");
}
