// Exact "ordered before" for baseline SC and PC without stored program-order
// arcs.
//
// Program order is implicit: under SC every operation precedes every later
// one of its processor; under PC only the pairs the model keeps. Either way
// the set of operations of one processor that a node reaches is closed under
// program order, so a load reached means every later load is reached, and a
// store reached means every later store is. Two numbers per processor (the
// earliest load and the earliest store reached) therefore describe exactly
// which loads and stores a node reaches. The index holds them for every
// node and keeps them exact while arcs are added.
#pragma once

#include <limits>
#include <vector>

#include "qirn.h"

class OrderIndex {
 public:
  static constexpr int_t kNone = std::numeric_limits<int_t>::max();

  // The closure of program order alone.
  OrderIndex();

  // 1 when a path of at least one arc leads from u to v; v is a load or a
  // store.
  bool reaches(const opnode* u, const opnode* v) const { return row(u->id)[slot(v)] <= v->seq_num; }

  // Takes the arc x -> y into account.
  void add_arc(const opnode* x, const opnode* y);

 private:
  static int_t slot(const opnode* v) { return 2 * v->proc_num + (v->optype == STORE ? 1 : 0); }
  int_t* row(int_t id) { return &rows_[static_cast<std::size_t>(id) * width_]; }
  const int_t* row(int_t id) const { return &rows_[static_cast<std::size_t>(id) * width_]; }
  void link_neighbours();
  void close_program_order(int_t p);
  // Adds to the row of u what `t` holds and reports whether the row changed.
  bool absorb(int_t id, const int_t* t);
  // Pushes the nodes whose closure contains every node that reaches u: its
  // program-order predecessors (a generating subset of them) and the sources
  // of its added arcs.
  void push_predecessors(const opnode* u);

  std::size_t width_;
  std::vector<int_t> rows_;
  std::vector<opnode*> nodes_;
  // By node id, the sequence number of the latest earlier load, store,
  // operation to the same address and lock operation of its processor (-1).
  std::vector<int_t> prevLoad_, prevStore_, prevSameAddr_, prevSync_;
  std::vector<std::vector<int_t>> sources_;  // by target id: sources of added arcs
  std::vector<int_t> pending_;
  std::vector<int_t> carried_;
};
