// Reachability between the nodes of a growing acyclic graph, one bit row per
// node, so that every "does x reach y" a search asks costs one bit test.
#pragma once

#include <cstdint>
#include <vector>

#include "qirn.h"

class ReachMatrix {
 public:
  explicit ReachMatrix(int_t nodes);

  int_t size() const { return nodes_; }
  bool reaches(int_t from, int_t to) const { return (row(from)[to >> 6] >> (to & 63) & 1U) != 0; }
  // While the closure is built, row by row in reverse topological order:
  // `from` reaches nothing yet, or exactly `to` and all `to` reaches, before
  // its other successors are taken. `to`'s row must be complete already.
  void clear_row(int_t from);
  void take_first_successor(int_t from, int_t to);
  // `from` reaches `to` and all it reaches as well.
  void take_successor(int_t from, int_t to);
  // How many nodes `node` reaches; a node reaches more than any node it
  // reaches, so sorting by this count, largest first, is a topological order.
  int_t reached_count(int_t node) const;

 private:
  const std::uint64_t* row(int_t node) const {
    return bits_.data() + static_cast<std::size_t>(node) * words_;
  }
  std::uint64_t* row(int_t node) { return bits_.data() + static_cast<std::size_t>(node) * words_; }
  void set(int_t from, int_t to) { row(from)[to >> 6] |= std::uint64_t{1} << (to & 63); }
  void merge(int_t into, int_t from);

  int_t nodes_;
  std::size_t words_;
  std::vector<std::uint64_t> bits_;
};
