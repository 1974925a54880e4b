#include "baseline/order_index.h"

#include <algorithm>
#include <unordered_map>

OrderIndex::OrderIndex()
    : width_((state.MC == PC ? 2 : 1) * state.graph.size()),
      chainStart_(width_ + 1, 0),
      place_(static_cast<std::size_t>(state.nodeCount) + 1, 0),
      carried_(width_) {
  place_operations();
  rows_.assign(chainStart_.back() * width_, kNone);
  changed_.assign(chainStart_.back(), 0);
  for (int_t p = 0; p < static_cast<int_t>(state.graph.size()); ++p) close_program_order(p);
}

void OrderIndex::place_operations() {
  std::vector<std::size_t> length(width_, 0);
  for (const auto& operations : state.graph) {
    for (const opnode& node : operations) {
      if (node.optype != SYNC) ++length[chain_of(&node)];
    }
  }
  for (std::size_t c = 0; c < width_; ++c) chainStart_[c + 1] = chainStart_[c] + length[c];
  members_.resize(chainStart_.back());
  across_.assign(chainStart_.back(), kNone);
  seqs_.resize(chainStart_.back());
  std::vector<std::size_t> next(chainStart_.begin(), chainStart_.end() - 1);
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype == SYNC) continue;
      place_[node.id] = next[chain_of(&node)]++;
      members_[place_[node.id]] = &node;
      seqs_[place_[node.id]] = node.seq_num;
    }
  }
}

// Sweeps the processor from its end. Every operation reaches the later
// stores; under SC, and from a load under PC, the later loads too. From a
// store or a lock operation under PC, a load is reached through the next
// store or along the chain of operations to the same address.
void OrderIndex::close_program_order(int_t p) {
  const auto& operations = state.graph[p];
  std::vector<int_t> loadReached(operations.size(), kNone);
  int_t nextLoad = kNone;
  int_t nextStore = kNone;
  std::unordered_map<int_t, int_t> nextOfAddr;
  for (auto k = static_cast<int_t>(operations.size()) - 1; k >= 0; --k) {
    const opnode& u = operations[k];
    loadReached[k] = nextLoad;
    if (state.MC == PC && u.optype != LOAD) {
      loadReached[k] = nextStore == kNone ? kNone : loadReached[nextStore];
      const auto same = nextOfAddr.find(u.addr);
      if (same != nextOfAddr.end()) {
        loadReached[k] = std::min(loadReached[k], loadReached[same->second]);
        if (operations[same->second].optype == LOAD)
          loadReached[k] = std::min(loadReached[k], same->second);
      }
    }
    if (u.optype != SYNC) {
      int_t* own = row(place_[u.id]);
      if (state.MC == PC) {
        own[2 * p] = loadReached[k];
        own[2 * p + 1] = nextStore;
        across_[place_[u.id]] = u.optype == LOAD ? nextStore : loadReached[k];
      } else {
        own[p] = std::min(nextLoad, nextStore);
      }
    }
    nextOfAddr[u.addr] = k;
    if (u.optype == LOAD) nextLoad = k;
    if (u.optype == STORE) nextStore = k;
  }
}

std::size_t OrderIndex::reaching_prefix(std::size_t chain, const opnode* x) const {
  const int_t s = chain_of(x);
  std::size_t lo = chainStart_[chain];
  std::size_t hi = chain_end(chain);
  if (lo == hi || row(lo)[s] > x->seq_num) hi = lo;
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (row(mid)[s] <= x->seq_num) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  const std::size_t own = place_[x->id];
  return own >= chainStart_[chain] && own < chain_end(chain) ? std::max(lo, own + 1) : lo;
}

std::size_t OrderIndex::first_at(std::size_t chain, int_t seq) const {
  const auto begin = seqs_.begin() + static_cast<std::ptrdiff_t>(chainStart_[chain]);
  const auto end = seqs_.begin() + static_cast<std::ptrdiff_t>(chain_end(chain));
  return static_cast<std::size_t>(std::lower_bound(begin, end, seq) - seqs_.begin());
}

// Every node reaching x, and x, gains y and all y reaches.
void OrderIndex::add_arc(const opnode* x, const opnode* y) {
  if (reaches(x, y)) return;
  ++version_;
  std::copy_n(row(place_[y->id]), width_, carried_.begin());
  carried_[chain_of(y)] = std::min(carried_[chain_of(y)], y->seq_num);
  for (std::size_t chain = 0; chain < width_; ++chain) {
    const std::size_t end = reaching_prefix(chain, x);
    const std::size_t from = lower_rows(chainStart_[chain], end);
    std::fill(changed_.begin() + static_cast<std::ptrdiff_t>(from),
              changed_.begin() + static_cast<std::ptrdiff_t>(end), version_);
  }
}

// Along the chain, rows never rise, so an entry that holds what is carried
// holds it in every row before too: the walk back drops each entry once it
// holds, starting with those the prefix's last row holds already, and stops
// when none is left.
std::size_t OrderIndex::lower_rows(std::size_t begin, std::size_t end) {
  lowered_.clear();
  if (end > begin) {
    const int_t* last = row(end - 1);
    for (std::size_t s = 0; s < width_; ++s) {
      if (carried_[s] < last[s]) lowered_.push_back(s);
    }
  }
  while (!lowered_.empty()) {
    int_t* entries = row(end - 1);
    std::size_t kept = 0;
    for (std::size_t s : lowered_) {
      if (carried_[s] >= entries[s]) continue;
      entries[s] = carried_[s];
      lowered_[kept++] = s;
    }
    lowered_.resize(kept);
    if (kept != 0) --end;
    if (end == begin) break;
  }
  return end;
}
