// Visited marks over all nodes of the graph, cleared in constant time.
//
// Every graph search owns one of these instead of a processor-by-operation
// matrix: `clear` starts a new epoch, so no search pays for wiping the marks
// of operations it never reaches.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "qirn.h"

class NodeMarks {
 public:
  // Forgets every mark; sizes the set to the current graph on first use.
  void clear() {
    const std::size_t size = static_cast<std::size_t>(state->nodeCount) + 1;
    if (stamps_.size() != size) stamps_.assign(size, 0);
    if (++epoch_ == 0) {
      std::fill(stamps_.begin(), stamps_.end(), 0);
      epoch_ = 1;
    }
  }
  bool test(const opnode* u) const { return stamps_[u->id] == epoch_; }
  void set(const opnode* u) { stamps_[u->id] = epoch_; }
  void set_id(int_t id) { stamps_[static_cast<std::size_t>(id)] = epoch_; }
  void unset(const opnode* u) { stamps_[u->id] = 0; }

 private:
  std::vector<std::uint32_t> stamps_;
  std::uint32_t epoch_ = 0;
};
