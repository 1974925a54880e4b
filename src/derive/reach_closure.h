// Which nodes each node reaches through the arcs, kept exact while arcs are
// only added.
//
// In baseline mode "v is ordered before r" is plain reachability, and the
// inference asks it for every pair of a load and a same-address store in
// every pass. One bit row per node (the nodes it reaches) answers each
// question at once; a second bit row per node (the nodes that reach it) lets
// an inserted arc update just the rows it changes.
#pragma once

#include <cstdint>
#include <vector>

#include "qirn.h"

class ReachClosure {
 public:
  // Whether the rows of the current graph stay within the memory budget.
  static bool fits();

  // The closure of the arcs present now.
  ReachClosure();

  // 1 when a path of at least one arc leads from u to v.
  bool reaches(const opnode* u, const opnode* v) const {
    return test(row(successors_, u->id), v->id);
  }

  // Takes the new arc x -> y into account.
  void add_arc(const opnode* x, const opnode* y);

 private:
  using Bits = std::vector<std::uint64_t>;

  std::uint64_t* row(Bits& bits, int_t id) { return &bits[static_cast<std::size_t>(id) * words_]; }
  const std::uint64_t* row(const Bits& bits, int_t id) const {
    return &bits[static_cast<std::size_t>(id) * words_];
  }
  static bool test(const std::uint64_t* bits, int_t id) {
    return (bits[id >> 6] >> (id & 63)) & 1U;
  }
  static void set(std::uint64_t* bits, int_t id) { bits[id >> 6] |= std::uint64_t{1} << (id & 63); }
  void merge(std::uint64_t* into, const std::uint64_t* from) const;
  void build_successors();
  void build_predecessors();
  // Adds `from` to the row of every node in `targets` whose row lacks `probe`.
  void spread(Bits& rows, const Bits& targets, int_t probe, const Bits& from);

  std::size_t size_;
  std::size_t words_;
  Bits successors_;    // row u: the nodes u reaches
  Bits predecessors_;  // row v: the nodes that reach v
  Bits sources_;       // scratch rows of add_arc
  Bits targets_;
};
