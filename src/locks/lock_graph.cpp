#include "locks/lock_graph.h"

#include <algorithm>

#include "bounds/scan_order.h"
#include "derive/program_order.h"
#include "graph/strong_components.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

// Per processor: each access after the previous access of its processor to
// its address.
void add_address_order(LockGraph& g) {
  std::vector<int_t> last(at(state->addrColumns), -1);
  for (auto& operations : state->graph) {
    std::fill(last.begin(), last.end(), -1);
    for (opnode& x : operations) {
      if (!is_access(&x) || !g.keeps(x.id)) continue;
      int_t& previous = last[at(x.column)];
      if (previous != -1) g.arc(previous, x.id, LO);
      previous = x.id;
    }
  }
}

// Per processor: each fence after every earlier operation and before every
// later one.
void add_fence_order(LockGraph& g) {
  for (auto& operations : state->graph) {
    for_each_fence_arc(
        operations, [&g](const opnode& x) { return g.keeps(x.id); },
        [&g](const opnode& u, const opnode& v) { g.arc(u.id, v.id, LO); });
  }
}

// The release that ends the session an acquire opens, or null. Under RC it is
// the next lock operation (sessions do not nest); under ScC the next release
// of the acquire's lock.
const opnode* release_of(const opnode& acquire, MCM_t model) {
  for (const opnode* x = lock_op_after(&acquire); x != nullptr; x = lock_op_after(x)) {
    if (model == RC) return is_release(x) ? x : nullptr;
    if (is_release(x) && x->addr == acquire.addr) return x;
  }
  return nullptr;
}

// `previous` holds, per lock, the release of the processor's last session of
// it: that session ends before this one.
void add_session(LockGraph& g, const opnode& acquire, const opnode& release,
                 std::vector<int_t>& previous) {
  const auto& operations = state->graph[at(acquire.proc_num)];
  for (int_t s = acquire.seq_num + 1; s < release.seq_num; ++s) {
    if (!g.keeps(operations[at(s)].id)) continue;
    g.arc(acquire.id, operations[at(s)].id, LO);
    g.arc(operations[at(s)].id, release.id, LO);
  }
  g.arc(acquire.id, release.id, LO);
  int_t& last = previous[at(acquire.column)];
  if (last != -1) g.arc(last, acquire.id, LO);
  last = release.id;
  g.sessionsOfLock[at(acquire.column)].push_back({acquire.id, release.id});
}

void add_sessions(LockGraph& g, MCM_t model) {
  g.sessionsOfLock.assign(at(state->lockColumns), {});
  std::vector<bool> ends(at(g.realCount), false);
  std::vector<int_t> previous(at(state->lockColumns));
  for (auto& operations : state->graph) {
    std::fill(previous.begin(), previous.end(), -1);
    for (opnode& x : operations) {
      if (!is_acquire(&x) || !g.keeps(x.id)) continue;
      const opnode* release = release_of(x, model);
      if (release == nullptr) continue;
      ends[at(release->id)] = true;
      add_session(g, x, *release, previous);
    }
  }
  for (const opnode* x : g.operations)
    g.orphanRelease |= is_release(x) && !ends[at(x->id)] && g.keeps(x->id);
}

// An RMW is a store of its address and a reader of the store it read; it
// takes no arc to itself as a load of the initial value.
void add_reads(LockGraph& g, bool initialArcs) {
  g.storesOfAddress.assign(at(state->addrColumns), {});
  g.readers.assign(at(g.realCount), {});
  g.initialReaders.assign(at(state->addrColumns), {});
  for (const opnode* x : g.operations) {
    if (!g.keeps(x->id)) continue;
    if (writes_memory(x)) g.storesOfAddress[at(x->column)].push_back(x->id);
    if (!reads_memory(x)) continue;
    const opnode* store = st_mapping(x);
    if (store == &state->sentinel) {
      g.initialReaders[at(x->column)].push_back(x->id);
      continue;
    }
    g.arc(store->id, x->id, Wt);
    g.readers[at(store->id)].push_back(x->id);
  }
  if (!initialArcs) return;
  for (std::size_t a = 0; a < g.initialReaders.size(); ++a) {
    for (int_t load : g.initialReaders[a]) {
      for (int_t store : g.storesOfAddress[a]) {
        if (store != load) g.arc(load, store, IO);
      }
    }
  }
}

// Issue points chained per processor, and from every operation to the first
// issue point of each processor that a scan proves it to precede.
void add_time_order(LockGraph& g) {
  g.firstIssuePoint.assign(at(state->NPROCESSOR), 0);
  int_t next = g.realCount;
  for (int_t q = 0; q < state->NPROCESSOR; ++q) {
    g.firstIssuePoint[at(q)] = next;
    next += state->procOpNum[at(q)];
  }
  g.nodeCount = next;
  g.out.resize(at(next));
  for (int_t q = 0; q < state->NPROCESSOR; ++q) {
    const int_t first = g.firstIssuePoint[at(q)];
    for (int_t i = 0; i < state->procOpNum[at(q)]; ++i) {
      if (i + 1 < state->procOpNum[at(q)]) g.arc(first + i, first + i + 1, TO);
      const int_t operation = state->graph[at(q)][at(i)].id;
      if (g.keeps(operation)) g.arc(first + i, operation, TO);
    }
  }
  for (const opnode* u : g.operations) {
    if (!g.keeps(u->id)) continue;
    for (int_t q = 0; q < state->NPROCESSOR; ++q) {
      const int_t f = first_issued_after(u, q);
      if (f < state->procOpNum[at(q)]) g.arc(u->id, g.firstIssuePoint[at(q)] + f, TO);
    }
  }
}

}  // namespace

int_t LockGraph::operation_of(int_t issuePoint) const {
  const auto after = std::upper_bound(firstIssuePoint.begin(), firstIssuePoint.end(), issuePoint);
  const auto q = static_cast<std::size_t>(after - firstIssuePoint.begin() - 1);
  return state->graph[q][at(issuePoint - firstIssuePoint[q])].id;
}

LockGraph build_lock_graph(MCM_t model, bool initialArcs, const std::vector<char>& kept) {
  LockGraph g;
  g.kept = kept;
  g.operations = nodes_by_id();
  g.operations.pop_back();  // the sentinel
  g.realCount = static_cast<int_t>(g.operations.size());
  g.nodeCount = g.realCount;
  g.out.resize(at(g.realCount));
  add_address_order(g);
  add_fence_order(g);
  add_sessions(g, model);
  add_reads(g, initialArcs);
  if (state->isBase == 0) add_time_order(g);
  return g;
}
