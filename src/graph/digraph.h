// A directed graph over dense integer ids, kept in compressed rows, with its
// strongly connected components.
//
// Searches that add arcs of their own beside the stored ones (time order,
// arcs a search is about to try) copy the graph into this form once and work
// on plain arrays from then on.
#pragma once

#include <vector>

#include "graph/strong_components.h"
#include "qirn.h"

class Digraph {
 public:
  // Arcs may be added in any order of sources; the arcs of one source keep
  // the order in which they were added.
  void add(int_t from, int_t to) {
    if (runs_.empty() || runs_.back().from != from) runs_.push_back({from, 0});
    ++runs_.back().length;
    if (pending_.empty() || pending_.back().size() == kBlockArcs) {
      pending_.emplace_back();
      pending_.back().reserve(kBlockArcs);
    }
    pending_.back().push_back(to);
  }
  // Moves the added arcs into rows over ids 0 to size - 1; call once, after
  // the last `add`.
  void finish(int_t size);

  int_t size() const { return size_; }
  const int_t* begin(int_t from) const { return targets_.data() + first_[from]; }
  const int_t* end(int_t from) const { return targets_.data() + first_[from + 1]; }

  // Components numbered in the order they complete, so every arc leads to a
  // component with the same or a lower number; a component is cyclic when it
  // has more than one member or an arc from its member to itself.
  StrongComponents components() const;

 private:
  // Arcs added one after another from the same source.
  struct Run {
    int_t from;
    int_t length;
  };
  // Added arcs wait as their targets in blocks of fixed size, so that a
  // graph of tens of millions of arcs is never copied to grow, and each
  // block is freed as soon as `finish` has moved it into the rows; their
  // sources are kept once per run, as arcs mostly come a source at a time.
  static constexpr std::size_t kBlockArcs = std::size_t{1} << 18;
  int_t size_ = 0;
  std::vector<Run> runs_;
  std::vector<std::vector<int_t>> pending_;
  std::vector<int_t> first_;
  std::vector<int_t> targets_;
};

// Adds the stored arcs of every node, node by node in list order.
void add_stored_arcs(Digraph& graph, const std::vector<opnode*>& nodes);
