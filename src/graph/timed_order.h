// The order graph with its time order made explicit.
//
// check_TO(u, v) orders u before v when u.seq_num < v.lpw[p] and
// u.upw[q] < v.seq_num, p being u's processor and q v's. For a fixed u and q
// the second condition holds on a suffix of q's operations, and so does the
// first on every stretch of q's trace along which lpw[p] does not decrease.
// So u is timed before exactly one suffix of each such stretch, and a chain
// of helper nodes along the stretch (each helper leads to its operation and
// to the next helper) lets one arc from u into the chain stand for all of
// those pairs. The generated pollers build on windows that never decrease,
// where each processor pair needs one stretch and so one arc per operation
// and processor; other windows only cost more stretches.
//
// The scans' own order is a suffix of q for every u too, so it enters the
// same chains. Reachability between operations in this graph is reachability
// over the stored arcs, the extra arcs and the time order together. Baseline
// mode times no pair, so there the graph holds the arcs alone.
#pragma once

#include <utility>
#include <vector>

#include "graph/digraph.h"
#include "qirn.h"

using NodePair = std::pair<opnode*, opnode*>;

class TimedOrderGraph {
 public:
  // What counts as time order: the pending windows alone, or the scans'
  // own order (u completed and v not yet issued at one scan) besides.
  enum class Time { Windows, WindowsAndScans };

  // Stored arcs of every node first, in list order, then `extra`, then the
  // time order.
  explicit TimedOrderGraph(Time time, const std::vector<NodePair>& extra = {});

  // Components by id; ids up to the sentinel's are those of the nodes.
  StrongComponents components() const { return graph_.components(); }

 private:
  void add_arcs(const std::vector<NodePair>& extra);
  void add_time_order(Time time);
  void add_processor_order(int_t p, Time time, const int_t* lowerOfP);
  int_t add_chain(int_t q, const std::vector<int_t>& stretchStart);

  std::vector<opnode*> nodes_;
  std::vector<int_t> sharedChain_;  // first helper of each processor's shared chain
  int_t nextHelper_ = 0;
  Digraph graph_;
};
