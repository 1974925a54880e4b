// Whether a chain through every lock session exists, decided directly
// instead of searched for.
#pragma once

#include <vector>

#include "graph/timed_order.h"
#include "qirn.h"

// The lock sessions of every processor: an acquire with the release after it.
struct SessionLayout {
  std::vector<opnode*> releases;   // the release of every session
  std::vector<NodePair> nextArcs;  // each release -> the next acquire of its processor
  std::vector<NodePair> backArcs;  // each release -> its own acquire
  bool orphanRelease = false;      // some release ends no session
};

SessionLayout session_layout();

// true when some order of all lock sessions, each processor's sessions in
// program order, joined by arcs from each release to the next acquire,
// leaves the graph free of cycles. The graph must have none to begin with,
// and the trace must hold an acquire.
bool complete_chain_exists();
