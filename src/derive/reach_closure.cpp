#include "derive/reach_closure.h"

#include <algorithm>
#include <bit>

#include "graph/strong_components.h"

namespace {

constexpr std::size_t kBudgetBytes = std::size_t{256} << 20;

std::size_t node_total() {
  return static_cast<std::size_t>(state->nodeCount) + 1;
}

std::size_t words_for(std::size_t size) {
  return (size + 63) / 64;
}

}  // namespace

bool ReachClosure::fits() {
  const std::size_t size = node_total();
  return 2 * size * words_for(size) * sizeof(std::uint64_t) <= kBudgetBytes;
}

ReachClosure::ReachClosure()
    : size_(node_total()),
      words_(words_for(size_)),
      successors_(size_ * words_, 0),
      predecessors_(size_ * words_, 0),
      sources_(words_),
      targets_(words_) {
  build_successors();
  build_predecessors();
}

// Components complete after every component they reach, so each row is the
// union of the rows (and nodes) of the components its arcs lead to, computed
// once for the component and copied to its other members.
void ReachClosure::build_successors() {
  const StrongComponents parts = strong_components();
  const std::vector<opnode*> nodes = nodes_by_id();
  for (std::size_t c = 0; c < parts.cyclic.size(); ++c) {
    const int_t* first = parts.members.data() + parts.firstMember[c];
    const int_t* last = parts.members.data() + parts.firstMember[c + 1];
    std::uint64_t* shared = row(successors_, *first);
    for (const int_t* m = first; m != last; ++m) {
      for (const oparc* arc = nodes[*m]->pointTo; arc != nullptr; arc = arc->nxtarc) {
        const int_t target = arc->nptr->id;
        if (parts.component[target] == static_cast<int_t>(c) || test(shared, target)) continue;
        merge(shared, row(successors_, target));
        set(shared, target);
      }
    }
    if (parts.cyclic[c]) {
      for (const int_t* m = first; m != last; ++m) set(shared, *m);
    }
    for (const int_t* m = first + 1; m != last; ++m)
      std::copy_n(shared, words_, row(successors_, *m));
  }
}

void ReachClosure::build_predecessors() {
  for (std::size_t u = 0; u < size_; ++u) {
    const std::uint64_t* bits = row(successors_, static_cast<int_t>(u));
    for (std::size_t w = 0; w < words_; ++w) {
      for (std::uint64_t word = bits[w]; word != 0; word &= word - 1) {
        const auto v =
            static_cast<int_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
        set(row(predecessors_, v), static_cast<int_t>(u));
      }
    }
  }
}

// The new paths lead from x and every node reaching x to y and every node y
// reaches. A row that already holds the far end of the arc holds all of that
// side, since the rows are closed.
void ReachClosure::add_arc(const opnode* x, const opnode* y) {
  if (test(row(successors_, x->id), y->id)) return;
  const std::uint64_t* reaching_x = row(predecessors_, x->id);
  std::copy_n(reaching_x, words_, sources_.data());
  set(sources_.data(), x->id);
  const std::uint64_t* reached_from_y = row(successors_, y->id);
  std::copy_n(reached_from_y, words_, targets_.data());
  set(targets_.data(), y->id);
  spread(successors_, sources_, y->id, targets_);
  spread(predecessors_, targets_, x->id, sources_);
}

void ReachClosure::spread(Bits& rows, const Bits& targets, int_t probe, const Bits& from) {
  for (std::size_t w = 0; w < words_; ++w) {
    for (std::uint64_t word = targets[w]; word != 0; word &= word - 1) {
      const auto id = static_cast<int_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
      std::uint64_t* bits = row(rows, id);
      if (!test(bits, probe)) merge(bits, from.data());
    }
  }
}

void ReachClosure::merge(std::uint64_t* into, const std::uint64_t* from) const {
  for (std::size_t w = 0; w < words_; ++w) into[w] |= from[w];
}
