#include "graph/cycles.h"

#include <cstdio>
#include <optional>

#include "bounds/windows.h"
#include "graph/strong_components.h"
#include "graph/timed_pairs.h"
#include "graph/walk_stack.h"
#include "report/diagnostics.h"

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

// The first node, in processor-then-sequence order, whose walk closes a
// cycle. When no two operations are timed (always in baseline mode) the walk
// from u answers 1 exactly when u lies on a cycle, so nodes outside every
// cycle are passed over without a walk.
opnode* first_cycle_start(NodeMarks& visited) {
  std::optional<StrongComponents> parts;
  if (!any_timed_pair()) parts = strong_components();
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (parts && !parts->on_cycle(&node)) continue;
      visited.clear();
      if (dfs_check(&node, &node, visited) != 0) return &node;
    }
  }
  return nullptr;
}

}  // namespace

int_t check_cycle() {
  NodeMarks visited;
  opnode* start = first_cycle_start(visited);
  if (start == nullptr) return 0;
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
