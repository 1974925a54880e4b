#include "graph/cycles.h"

#include <cstdio>
#include <optional>

#include "bounds/windows.h"
#include "graph/shortest_cycle.h"
#include "graph/strong_components.h"
#include "graph/timed_order.h"
#include "graph/timed_pairs.h"
#include "graph/walk_stack.h"
#include "report/diagnostics.h"

namespace {

WalkStack& check_stack() {
  thread_local WalkStack stack;
  return stack;
}

bool never(const opnode*) {
  return false;
}
bool always(const opnode*) {
  return true;
}

void add_step(FoundCycle& cycle, ORDER_t tag, const opnode* node) {
  cycle.tags.push_back(tag);
  cycle.nodes.push_back(node);
}

// The arc into u that closes the cycle or, when only time closes it, the time
// link from the arc's target to u and then the arc; then the path held by the
// stack, from the node on top back to the one above the start, each node
// after the tag of the arc that led into it.
FoundCycle walked_cycle(opnode* u, const oparc* arc, const WalkStack& stack) {
  FoundCycle cycle{{u}, {}};
  if (arc->nptr != u) add_step(cycle, TO, arc->nptr);
  const auto& frames = stack.frames();
  ORDER_t into = arc->order;
  for (std::size_t i = frames.size() - 1; i > 0; --i) {
    add_step(cycle, into, frames[i].node);
    into = frames[i].in->order;
  }
  add_step(cycle, into, u);
  return cycle;
}

// Components of the graph as the walks see it: the stored arcs and, when
// two operations are timed, the time order too. A walk from u closes only
// along arcs back to u or to an operation timed before u, so u then lies on
// a cycle of this graph; nodes outside every cycle are passed over without a
// walk, and a graph without a cycle needs no walk at all.
struct CycleFilter {
  bool scans = state->isBase == 0 && state->MC != RC && state->MC != ScC;
  std::optional<TimedOrderGraph> timed;
  StrongComponents parts;

  CycleFilter() {
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
  for (auto& operations : state->graph) {
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
  for (auto& operations : state->graph) {
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

// A cycle that no single walk closes takes more than one time link, or one
// that only the scans' order gives. It is given in the walks' notation, from
// its end back to its start.
FoundCycle timed_cycle(const std::vector<opnode*>& path) {
  FoundCycle cycle{{path.back()}, {}};
  for (std::size_t i = path.size() - 1; i > 0; --i) {
    add_step(cycle, step_order(path[i - 1], path[i]), path[i - 1]);
  }
  return cycle;
}

// Every node but the last, each followed by its tag.
void print_all_but_last(const FoundCycle& cycle) {
  for (std::size_t i = 0; i + 1 < cycle.nodes.size(); ++i) {
    print_node(cycle.nodes[i]);
    print_arc(cycle.tags[i]);
  }
}

}  // namespace

std::optional<FoundCycle> find_cycle() {
  const CycleFilter filter;
  NodeMarks visited;
  opnode* start = first_cycle_start(filter, visited);
  if (start == nullptr) {
    opnode* first = filter.timed ? first_on_cycle(filter) : nullptr;
    if (first == nullptr) return std::nullopt;
    return timed_cycle(shortest_cycle_through(first, filter.scans));
  }
  visited.clear();
  return walk_cycle(start, start, visited);
}

void print_cycle(const FoundCycle& cycle) {
  print_all_but_last(cycle);
  print_node(cycle.nodes.back());
}

void report_cycle(FoundCycle cycle) {
  const char* header = "Find a consistency violation:";
  std::fprintf(state->out, "%s\n", header);
  note_verdict_line(header, VerdictLine::Kind::Cycle);
  print_cycle(cycle);
  std::fprintf(state->out, "\n");
  state->lastCycle = std::move(cycle);
}

int_t check_cycle() {
  std::optional<FoundCycle> cycle = find_cycle();
  if (!cycle) return 0;
  report_cycle(std::move(*cycle));
  return 1;
}

int_t dfs_check(opnode* u, opnode* v, NodeMarks& visited) {
  return state->isBase == 1 ? dfs_check_baseline(u, v, visited) : dfs_check_optimize(u, v, visited);
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
// 0, so it is the baseline walk): the cycle from its end back to u.
std::optional<FoundCycle> walk_cycle(opnode* u, opnode* v, NodeMarks& visited) {
  const auto closes = [u](const opnode* w) { return w == u || check_TO(w, u) != 0; };
  WalkStack& stack = check_stack();
  const oparc* closing = walk_arcs(stack, v, visited, closes, never, always);
  if (closing == nullptr) return std::nullopt;
  return walked_cycle(u, closing, stack);
}

int_t dfs_print(opnode* u, opnode* v, NodeMarks& visited) {
  std::optional<FoundCycle> cycle = walk_cycle(u, v, visited);
  if (!cycle) return 0;
  print_all_but_last(*cycle);
  state->lastCycle = std::move(*cycle);
  return 1;
}
