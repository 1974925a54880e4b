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
    const int length = static_cast<int>(state.graph[u->proc_num].size());
    for (int s = u->seq_num - 1; s <= u->seq_num + 1; ++s) {
      if (s >= 0 && s < length) shown[u->proc_num].insert(s);
    }
  }
  return shown;
}

void add_column(std::string& dot, int p, const std::set<int>& operations,
                const std::set<const opnode*>& on_cycle) {
  dot += "  subgraph cluster_" + std::to_string(p) + " {\n    label=\"processor " +
         std::to_string(p) + "\";\n    color=lightgrey;\n";
  const opnode* previous = nullptr;
  for (int s : operations) {
    const opnode* u = node_at(p, s);
    dot += "    " + id(u) + " [label=" + quoted(node_text(u)) +
           (on_cycle.count(u) ? ", penwidth=2" : ", color=grey50, fontcolor=grey30") + "];\n";
    if (previous != nullptr) {
      dot += "    " + id(previous) + " -> " + id(u) + " [color=grey70, weight=10" +
             (s == previous->seq_num + 1 ? "" : ", style=dotted") + "];\n";
    }
    previous = u;
  }
  dot += "  }\n";
}

}  // namespace

std::string render_dot(const FoundCycle& cycle) {
  std::string dot = "digraph cycle {\n  node [shape=box, fontname=\"monospace\"];\n";
  const std::set<const opnode*> on_cycle(cycle.nodes.begin(), cycle.nodes.end());
  for (const auto& [p, operations] : shown_operations(cycle)) {
    add_column(dot, p, operations, on_cycle);
  }
  for (std::size_t i = 1; i < cycle.nodes.size(); ++i) {
    const ORDER_t tag = cycle.tags[i - 1];
    dot += "  " + id(cycle.nodes[i]) + " -> " + id(cycle.nodes[i - 1]) + " [label=\"" +
           order_tag(tag) + "\", color=red, fontcolor=red, constraint=false" +
           (tag == TO ? ", style=dashed" : "") + "];\n";
  }
  return dot + "}\n";
}

}  // namespace qirn_witness
