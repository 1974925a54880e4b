#include "graph/cycles.h"

#include <cstdio>
#include <optional>

#include "bounds/windows.h"
#include "graph/strong_components.h"
#include "graph/timed_order.h"
#include "graph/timed_pairs.h"
#include "graph/walk_stack.h"
#include "run/diagnostics.h"

namespace {

WalkStack& check_stack() {
  static WalkStack stack;
  return stack;
}

bool never(const opnode*) {
  return false;
}
bool always(const opnode*) {
  return true;
}

// Prints the path held by the stack, from the node on top back to the one
// above the start: each node followed by the tag of the arc that led into it.
void print_path(const WalkStack& stack) {
  const auto& frames = stack.frames();
  for (std::size_t i = frames.size() - 1; i > 0; --i) {
    print_node(frames[i].node);
    print_arc(frames[i].in->order);
  }
}

// Prints the arc into u that closes the cycle or, when only time closes it,
// the time link from the arc's target to u and then the arc.
void print_closing(opnode* u, const oparc* arc) {
  print_node(u);
  if (arc->nptr != u) {
    print_arc(TO);
    print_node(arc->nptr);
  }
  print_arc(arc->order);
}

// Components of the graph as the walks see it: the stored arcs and, when
// two operations are timed, the time order too. A walk from u closes only
// along arcs back to u or to an operation timed before u, so u then lies on
// a cycle of this graph; nodes outside every cycle are passed over without a
// walk, and a graph without a cycle needs no walk at all.
struct CycleFilter {
  std::optional<TimedOrderGraph> timed;
  StrongComponents parts;

  CycleFilter() {
    const bool scans = state.isBase == 0 && (state.MC == SC || state.MC == PC);
    if (scans || any_timed_pair()) {
      timed.emplace(scans ? TimedOrderGraph::Time::WindowsAndScans
                          : TimedOrderGraph::Time::Windows);
      parts = timed->components();
    } else {
      parts = strong_components();
    }
  }
};

// The first node, in processor-then-sequence order, whose walk closes a
// cycle.
opnode* first_cycle_start(const CycleFilter& filter, NodeMarks& visited) {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (!filter.parts.on_cycle(&node)) continue;
      visited.clear();
      if (dfs_check(&node, &node, visited) != 0) return &node;
    }
  }
  return nullptr;
}

// The first node on a cycle of arcs and time order.
opnode* first_on_cycle(const CycleFilter& filter) {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (filter.parts.on_cycle(&node)) return &node;
    }
  }
  return nullptr;
}

// The tag of the step from a to b: the first arc from a to b in list order,
// or the time link when only time orders them.
ORDER_t step_order(const opnode* a, const opnode* b) {
  for (const oparc* arc = a->pointTo; arc != nullptr; arc = arc->nxtarc) {
    if (arc->nptr == b) return arc->order;
  }
  return TO;
}

// A cycle that no single walk closes takes more than one time link. It is
// printed in the walks' notation, from its end back to its start.
void print_cycle(const std::vector<opnode*>& cycle) {
  for (std::size_t i = cycle.size() - 1; i > 0; --i) {
    print_node(cycle[i]);
    print_arc(step_order(cycle[i - 1], cycle[i]));
  }
  print_node(cycle.front());
}

}  // namespace

int_t check_cycle() {
  const CycleFilter filter;
  NodeMarks visited;
  opnode* start = first_cycle_start(filter, visited);
  if (start == nullptr) {
    opnode* first = filter.timed ? first_on_cycle(filter) : nullptr;
    if (first == nullptr) return 0;
    std::printf("Find a consistency violation:\n");
    print_cycle(filter.timed->cycle_through(first));
    std::printf("\n");
    return 1;
  }
  std::printf("Find a consistency violation:\n");
  visited.clear();
  dfs_print(start, start, visited);
  print_node(start);
  std::printf("\n");
  return 1;
}

int_t dfs_check(opnode* u, opnode* v, NodeMarks& visited) {
  return state.isBase == 1 ? dfs_check_baseline(u, v, visited) : dfs_check_optimize(u, v, visited);
}

int_t dfs_check_baseline(opnode* u, opnode* v, NodeMarks& visited) {
  const auto closes = [u](const opnode* w) { return w == u; };
  return walk_arcs(check_stack(), v, visited, closes, never, always) != nullptr ? 1 : 0;
}

// As the baseline walk, but an operation timed before u closes the cycle too,
// and an operation timed after u is never entered. Only that target is passed
// over: the later arcs of the node it leaves may still lead back to u.
int_t dfs_check_optimize(opnode* u, opnode* v, NodeMarks& visited) {
  const auto closes = [u](const opnode* w) { return w == u || check_TO(w, u) != 0; };
  const auto enters = [u](const opnode* w) { return check_TO(u, w) == 0; };
  return walk_arcs(check_stack(), v, visited, closes, never, enters) != nullptr ? 1 : 0;
}

// The optimized walk without its stop rule (in baseline mode check_TO answers
// 0, so it is the baseline walk). On success the cycle is printed from its end
// back to v; the caller prints u itself.
int_t dfs_print(opnode* u, opnode* v, NodeMarks& visited) {
  const auto closes = [u](const opnode* w) { return w == u || check_TO(w, u) != 0; };
  WalkStack& stack = check_stack();
  const oparc* closing = walk_arcs(stack, v, visited, closes, never, always);
  if (closing == nullptr) return 0;
  print_closing(u, closing);
  print_path(stack);
  return 1;
}
