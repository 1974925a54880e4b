#include "graph/strong_components.h"

#include "graph/digraph.h"

std::vector<opnode*> nodes_by_id() {
  std::vector<opnode*> nodes(static_cast<std::size_t>(state->nodeCount) + 1, &state->sentinel);
  for (auto& operations : state->graph) {
    for (opnode& node : operations) nodes[node.id] = &node;
  }
  return nodes;
}

StrongComponents strong_components() {
  Digraph graph;
  const std::vector<opnode*> nodes = nodes_by_id();
  add_stored_arcs(graph, nodes);
  graph.finish(static_cast<int_t>(nodes.size()));
  return graph.components();
}
