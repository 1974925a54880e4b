// Per processor, the sequence numbers still in a set that only shrinks, with
// the nearest member from any k on in one direction. The links of removed
// numbers lead on in that direction and are shortened as they are followed,
// so a search that removes what it meets pays about one step per member met
// rather than one per number passed.
#pragma once

#include <numeric>
#include <utility>
#include <vector>

#include "qirn.h"

class SkipLinks {
 public:
  enum class Direction { Up, Down };

  // Every operation of every processor is in the set.
  explicit SkipLinks(Direction direction) : up_(direction == Direction::Up) {
    links_.resize(state->graph.size());
    for (std::size_t q = 0; q < links_.size(); ++q) {
      links_[q].resize(state->graph[q].size() + 1);
      std::iota(links_[q].begin(), links_[q].end(), 0);
    }
  }

  // The nearest member of q's set from k on: going up, procOpNum[q] when
  // none is left; going down, -1.
  int_t nearest(int_t q, int_t k) {
    std::vector<int_t>& links = links_[q];
    int_t slot = up_ ? k : k + 1;
    int_t last = slot;
    while (links[last] != last) last = links[last];
    while (links[slot] != last) slot = std::exchange(links[slot], last);
    return up_ ? last : last - 1;
  }

  bool contains(int_t q, int_t k) { return nearest(q, k) == k; }

  void remove(int_t q, int_t k) {
    if (up_) {
      links_[q][k] = k + 1;
    } else {
      links_[q][k + 1] = k;
    }
  }

 private:
  bool up_;
  // Going up, slot k for number k and slot procOpNum[q] for none; going
  // down, slot k + 1 for number k and slot 0 for none.
  std::vector<std::vector<int_t>> links_;
};
