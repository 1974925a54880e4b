#include "rc/pairing_search.h"

#include <cstdio>

#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "rc/chain_decision.h"
#include "rc/cycle_tests.h"
#include "rc/session_chain.h"
#include "run/diagnostics.h"

int_t check_for_rc() {
  opnode* start = first_chain_start();
  if (start == nullptr) return 1;
  if (complete_chain_exists()) {
    std::printf("no violation!\n");
    return 0;
  }
  NodeMarks visited;
  visited.clear();
  dfs_print_for_rc(start, visited);
  std::printf("\nhas violation!\n");
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
  for (;;) {
    opnode* release = open_session(u, visited);
    opnode* c = Candidates(release).next(visited);
    if (c == nullptr) return;
    if (add_and_check_for_rc(release, c) == 1) {
      visited.clear();
      dfs_print(release, release, visited);
      print_node(release);
      return;
    }
    u = c;
  }
}
