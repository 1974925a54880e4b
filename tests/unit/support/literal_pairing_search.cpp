#include "support/literal_pairing_search.h"

#include <cstdio>
#include <vector>

#include "derive/program_order.h"
#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "rc/pairing_search.h"
#include "rc/session_chain.h"
#include "report/diagnostics.h"

namespace {

void close_session(opnode* release, NodeMarks& visited) {
  visited.unset(release);
  visited.unset(findAcquire(release));
}

bool every_release_marked(const NodeMarks& visited) {
  for (auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (is_release(&node) && !visited.test(&node)) return false;
    }
  }
  return true;
}

// One session on the chain being built by the search.
struct ChainLink {
  opnode* release;
  Candidates candidates;
  bool tried = false;
  opnode* next = nullptr;  // the session the chain goes on with
};

ChainLink enter(opnode* acquire, NodeMarks& visited) {
  opnode* release = open_session(acquire, visited);
  return ChainLink{release, Candidates(release)};
}

// The session has no candidate left. 0: the chain holds every session;
// 1: the session leaves the chain.
int_t leave(ChainLink& link, NodeMarks& visited) {
  if (!link.tried && every_release_marked(visited)) return 0;
  close_session(link.release, visited);
  return 1;
}

// Takes back a candidate whose arc closed a cycle.
void refuse(opnode* release, opnode* candidate, NodeMarks& visited) {
  visited.unset(candidate);
  visited.unset(findRelease(candidate));
  del_arc(release, candidate, RO);
}

// Removes the RO arc u -> v and v's session from the chain; returns that
// session's release.
opnode* unlink_session(opnode* u, opnode* v, NodeMarks& visited) {
  if (del_arc(u, v, RO) != 0) {
    print_node(u);
    std::printf("\n");
    print_node(v);
    std::printf("\n");
    err_quit("error when delete arc!");
  }
  visited.unset(v);
  opnode* release = findRelease(v);
  visited.unset(release);
  return release;
}

// A marked acquire of another processor than q (in rotation from q + 1)
// that `release` has an RO arc to, or null.
opnode* linked_acquire_elsewhere(const opnode* release, int_t q, const NodeMarks& visited) {
  const auto linked = [&](const opnode* y) {
    return visited.test(y) && has_arc(release, y, RO) == 1;
  };
  for (int_t d = 1; d < state->NPROCESSOR; ++d) {
    opnode* y = find_acquire_from((q + d) % state->NPROCESSOR, 0, linked);
    if (y != nullptr) return y;
  }
  return nullptr;
}

// The replay: the search's first choices without backtracking, each arc
// tested in full.
void literal_print_for_rc(opnode* u, NodeMarks& visited) {
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

}  // namespace

int_t literal_check_for_rc() {
  NodeMarks visited;
  visited.clear();
  opnode* first_start = nullptr;
  for (int_t i = 0; i < state->NPROCESSOR; ++i) {
    opnode* start = free_acquire(i, 0, visited);
    if (start == nullptr) continue;
    if (first_start == nullptr) first_start = start;
    if (dfs_check_for_rc(start, visited) == 0) {
      std::printf("no violation!\n");
      return 0;
    }
    visited.clear();
  }
  if (first_start == nullptr) return 1;
  visited.clear();
  literal_print_for_rc(first_start, visited);
  std::printf("\nhas violation!\n");
  return 1;
}

// Depth first over the chain, with the path of sessions on an explicit stack:
// each link tries its candidates in order; a refused or dead-end candidate is
// taken back before the next is tried.
int_t dfs_check_for_rc(opnode* u, NodeMarks& visited) {
  std::vector<ChainLink> chain;
  chain.push_back(enter(u, visited));
  for (;;) {
    ChainLink& link = chain.back();
    opnode* c = link.candidates.next(visited);
    if (c == nullptr) {
      if (leave(link, visited) == 0) return 0;
      chain.pop_back();
      if (chain.empty()) return 1;
      del_all_arc(chain.back().release, chain.back().next, visited);
      continue;
    }
    link.tried = true;
    if (add_and_check_for_rc(link.release, c) == 0) {
      link.next = c;
      chain.push_back(enter(c, visited));
    } else {
      refuse(link.release, c, visited);
    }
  }
}

// Each removal may lead on to the next RO arc of the chain, first in v's own
// processor and then in the others; pending steps wait on an explicit stack
// so that they run in the order of nested calls.
void del_all_arc(opnode* u, opnode* v, NodeMarks& visited) {
  struct Step {
    opnode* release;
    opnode* acquire;      // the arc to remove, or, for a scan, v of the removal
    bool scan_elsewhere;  // look in the other processors for the next arc
  };
  std::vector<Step> steps{{u, v, false}};
  while (!steps.empty()) {
    const Step step = steps.back();
    steps.pop_back();
    if (step.scan_elsewhere) {
      opnode* next = linked_acquire_elsewhere(step.release, step.acquire->proc_num, visited);
      if (next != nullptr) steps.push_back({step.release, next, false});
      continue;
    }
    opnode* release = unlink_session(step.release, step.acquire, visited);
    steps.push_back({release, step.acquire, true});
    opnode* next = find_acquire_from(step.acquire->proc_num, step.acquire->seq_num + 1,
                                     [&visited](const opnode* y) { return visited.test(y); });
    if (next != nullptr && has_arc(release, next, RO) == 1) steps.push_back({release, next, false});
  }
}
