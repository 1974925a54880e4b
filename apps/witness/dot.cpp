#include "witness/dot.h"

#include <map>
#include <set>

#include "report/diagnostics.h"

namespace qirn_witness {
namespace {

std::string id(const opnode* u) {
  return "\"G" + std::to_string(u->proc_num) + "_" + std::to_string(u->seq_num) + "\"";
}

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// The shown operations by processor, in program order.
std::map<int, std::set<int>> shown_operations(const FoundCycle& cycle) {
  std::map<int, std::set<int>> shown;
  for (const opnode* u : cycle.nodes) {
    const int length = static_cast<int>(state->graph[u->proc_num].size());
    for (int s = u->seq_num - 1; s <= u->seq_num + 1; ++s) {
      if (s >= 0 && s < length) shown[u->proc_num].insert(s);
    }
  }
  return shown;
}

void add_column(std::string& dot, int p, const std::set<int>& operations,
                const std::set<const opnode*>& highlighted) {
  dot += "  subgraph cluster_" + std::to_string(p) + " {\n    label=\"processor " +
         std::to_string(p) + "\";\n    color=lightgrey;\n";
  const opnode* previous = nullptr;
  for (int s : operations) {
    const opnode* u = node_at(p, s);
    dot += "    " + id(u) + " [label=" + quoted(node_text(u)) +
           (highlighted.count(u) ? ", penwidth=2" : ", color=grey50, fontcolor=grey30") + "];\n";
    if (previous != nullptr) {
      dot += "    " + id(previous) + " -> " + id(u) + " [color=grey70, weight=10" +
             (s == previous->seq_num + 1 ? "" : ", style=dotted") + "];\n";
    }
    previous = u;
  }
  dot += "  }\n";
}

std::string red_arc(const opnode* from, const opnode* to, ORDER_t tag) {
  return "  " + id(from) + " -> " + id(to) + " [label=\"" + order_tag(tag) +
         "\", color=red, fontcolor=red, constraint=false" + (tag == TO ? ", style=dashed" : "") +
         "];\n";
}

}  // namespace

std::string render_dot(const FoundCycle& cycle) {
  std::string dot = "digraph cycle {\n  node [shape=box, fontname=\"monospace\"];\n";
  const std::set<const opnode*> on_cycle(cycle.nodes.begin(), cycle.nodes.end());
  for (const auto& [p, operations] : shown_operations(cycle)) {
    add_column(dot, p, operations, on_cycle);
  }
  for (std::size_t i = 1; i < cycle.nodes.size(); ++i) {
    dot += red_arc(cycle.nodes[i], cycle.nodes[i - 1], cycle.tags[i - 1]);
  }
  return dot + "}\n";
}

std::string render_core_dot(const FoundCore& core) {
  std::string dot = "digraph core {\n  node [shape=box, fontname=\"monospace\"];\n";
  std::map<int, std::set<int>> shown;
  for (const opnode* u : core.nodes) shown[u->proc_num].insert(u->seq_num);
  const std::set<const opnode*> in_core(core.nodes.begin(), core.nodes.end());
  for (const auto& [p, operations] : shown) add_column(dot, p, operations, in_core);
  for (const CoreArc& arc : core.arcs) dot += red_arc(arc.from, arc.to, arc.tag);
  return dot + "}\n";
}

}  // namespace qirn_witness
