#include "rc/pairing_search.h"

#include <cstdint>
#include <cstdio>
#include <unordered_set>
#include <vector>

#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "rc/chain_decision.h"
#include "rc/cycle_tests.h"
#include "rc/session_chain.h"
#include "report/diagnostics.h"

namespace {

// The replay's cycle tests, skipping those that cannot find a cycle.
//
// The replay mostly adds arcs from a release to the next acquire of its
// processor, and the strong components of the graph with all of those arcs
// (and the time order) hold every cycle the replay's graph can have. An arc
// of that graph that joins two of its components lies on no cycle, so no walk
// closes through it. Any other arc gets the full test; when it is kept, it
// joins the graph and the components are computed again.
class ReplaySteps {
 public:
  ReplaySteps() : arcs_(session_layout().nextArcs) {
    for (const NodePair& arc : arcs_) known_.insert(key(arc.first, arc.second));
    compute_components();
  }

  // What add_and_check_for_rc answers for the arc release -> acquire.
  int_t add_and_check(opnode* release, opnode* acquire) {
    const bool known = known_.count(key(release, acquire)) != 0;
    if (known && parts_.component[release->id] != parts_.component[acquire->id]) {
      ins_arc(release, acquire, RO);
      return 0;
    }
    const int_t closes = add_and_check_for_rc(release, acquire);
    if (closes == 0 && !known) {
      arcs_.emplace_back(release, acquire);
      known_.insert(key(release, acquire));
      compute_components();
    }
    return closes;
  }

 private:
  static std::uint64_t key(const opnode* u, const opnode* v) {
    return (static_cast<std::uint64_t>(u->id) << 32) | static_cast<std::uint32_t>(v->id);
  }
  void compute_components() {
    parts_ = TimedOrderGraph(TimedOrderGraph::Time::Windows, arcs_).components();
  }

  std::vector<NodePair> arcs_;
  std::unordered_set<std::uint64_t> known_;
  StrongComponents parts_;
};

}  // namespace

int_t check_for_rc() {
  opnode* start = first_chain_start();
  if (start == nullptr) return 1;
  if (complete_chain_exists()) {
    print_verdict(false, "no violation!");
    return 0;
  }
  NodeMarks visited;
  visited.clear();
  dfs_print_for_rc(start, visited);
  std::fprintf(state->out, "\n");
  print_verdict(true, "has violation!");
  return 1;
}

int_t add_and_check_for_rc(opnode* u, opnode* v) {
  if (u->val != 1 || v->val != 0) err_quit("error in add and check!");
  ins_arc(u, v, RO);
  return cycle_after_arc(u, v);
}

int_t check_cycle_for_rc() {
  return graph_has_cycle();
}

void dfs_print_for_rc(opnode* u, NodeMarks& visited) {
  ReplaySteps steps;
  for (;;) {
    opnode* release = open_session(u, visited);
    opnode* c = Candidates(release).next(visited);
    if (c == nullptr) return;
    if (steps.add_and_check(release, c) == 1) {
      visited.clear();
      dfs_print(release, release, visited);
      print_node(release);
      return;
    }
    u = c;
  }
}
