// Strongly connected components of the order graph.
//
// In baseline mode a node closes a cycle exactly when it lies in a component
// with more than one node or carries an arc to itself; the cycle check and the
// reachability closure of the inference use this to avoid one walk per node.
#pragma once

#include <vector>

#include "qirn.h"

struct StrongComponents {
  // Component of every node, by node id (the sentinel included). Components
  // are numbered in the order they complete, so every arc leads from a
  // component to one with the same or a lower number.
  std::vector<int_t> component;
  // Per component: whether a cycle runs through it.
  std::vector<bool> cyclic;
  // Node ids of every component, grouped by component in numbering order.
  std::vector<int_t> members;
  std::vector<int_t> firstMember;  // per component, plus one end entry

  bool on_cycle(const opnode* u) const { return cyclic[component[u->id]]; }
};

// Every node of the graph by id: the nodes of `graph`, then the sentinel.
std::vector<opnode*> nodes_by_id();

StrongComponents strong_components();
