// Why this decides what the search over chains would find.
//
// Sessions. A session is an acquire with the release after it. A chain
// takes each processor's sessions in program order: from a release it may go
// on with its own processor's next session or with another processor's first
// session not yet taken, so every chain is an interleaving of the
// processors' session sequences, and every interleaving is a chain.
// Adding arcs never removes a cycle, so a prefix that closes one cannot be
// completed, and the search finds a complete chain exactly when some
// interleaving closes no cycle. A release that ends no session is never on a
// chain, so no chain completes; one session alone is a complete chain.
//
// The graph G. Take the stored arcs (with the time order in optimized mode,
// which closes a cycle like an arc), plus an arc from each session's release
// to the next acquire of its processor. Those extra arcs follow from every
// chain (each release reaches the processor's next acquire through the chain
// and the sessions between, since an acquire always has an arc to its own
// release), so they close no cycle that the chain would not close too.
//
// Which interleavings work. Say session U must precede S when G has a path
// from U's acquire to S's release. A chain closes a cycle exactly when G has
// one or some session must precede an earlier one on the chain: going round a
// cycle, the chain arcs cannot all lead forward. So a complete chain exists
// exactly when G is acyclic and "must precede" is acyclic; then its
// topological order is the chain (it keeps program order, since a session
// must precede the next one of its processor).
//
// Testing it in linear time. Add to G an arc from each release back to its
// own acquire. In the strong components of that graph, two sessions share a
// component exactly when "must precede" has a cycle through both: a closed
// path through both releases splits at those back arcs into paths from an
// acquire to another session's release. A cycle of G itself either runs
// through some release-to-next-acquire arc, and so through two sessions, or
// consists of stored arcs and time order alone, which the check before the
// search has ruled out.
//
// Time order. In optimized mode a chain step is refused when a walk closes
// over the stored arcs, and a walk takes one time link at most, the one that
// closes it. A cycle that needs two time links and that no single walk
// closes is counted here as well, as the check before the search counts it;
// on the random and generated trace sets compared with the search, that has
// never changed a verdict.
#include "rc/chain_decision.h"

#include <utility>
#include <vector>

#include "graph/timed_order.h"

namespace {

void scan_processor(std::vector<opnode>& operations, SessionLayout& layout) {
  opnode* last_lock = nullptr;
  opnode* last_release = nullptr;
  for (opnode& x : operations) {
    if (x.optype != SYNC) continue;
    if (is_acquire(&x) && last_release != nullptr) layout.nextArcs.emplace_back(last_release, &x);
    if (is_release(&x)) {
      const bool ends_session = last_lock != nullptr && is_acquire(last_lock);
      if (!ends_session) {
        layout.orphanRelease = true;
      } else {
        layout.releases.push_back(&x);
        layout.backArcs.emplace_back(&x, last_lock);
        last_release = &x;
      }
    }
    last_lock = &x;
  }
}

}  // namespace

SessionLayout session_layout() {
  SessionLayout layout;
  for (auto& operations : state->graph) scan_processor(operations, layout);
  return layout;
}

bool complete_chain_exists() {
  const SessionLayout layout = session_layout();
  if (layout.orphanRelease) return false;
  std::vector<NodePair> arcs = layout.nextArcs;
  arcs.insert(arcs.end(), layout.backArcs.begin(), layout.backArcs.end());
  const StrongComponents parts = TimedOrderGraph(TimedOrderGraph::Time::Windows, arcs).components();
  std::vector<bool> holds_session(parts.cyclic.size(), false);
  for (const opnode* release : layout.releases) {
    const int_t part = parts.component[release->id];
    if (holds_session[part]) return false;
    holds_session[part] = true;
  }
  return true;
}
