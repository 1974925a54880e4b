#include "baseline/order_index.h"

#include <algorithm>
#include <unordered_map>

#include "graph/strong_components.h"

namespace {

int_t id_of(int_t p, int_t seq) {
  return node_at(p, seq)->id;
}

}  // namespace

OrderIndex::OrderIndex()
    : width_(2 * state.graph.size()),
      rows_((static_cast<std::size_t>(state.nodeCount) + 1) * width_, kNone),
      nodes_(nodes_by_id()),
      sources_(nodes_.size()) {
  link_neighbours();
  for (int_t p = 0; p < static_cast<int_t>(state.graph.size()); ++p) close_program_order(p);
}

void OrderIndex::link_neighbours() {
  const std::size_t size = nodes_.size();
  for (auto* list : {&prevLoad_, &prevStore_, &prevSameAddr_, &prevSync_}) list->assign(size, -1);
  for (const auto& operations : state.graph) {
    int_t load = -1;
    int_t store = -1;
    int_t sync = -1;
    std::unordered_map<int_t, int_t> lastOfAddr;
    for (const opnode& node : operations) {
      prevLoad_[node.id] = load;
      prevStore_[node.id] = store;
      prevSync_[node.id] = sync;
      auto [last, fresh] = lastOfAddr.try_emplace(node.addr, -1);
      prevSameAddr_[node.id] = last->second;
      last->second = node.seq_num;
      if (node.optype == LOAD) load = node.seq_num;
      if (node.optype == STORE) store = node.seq_num;
      if (node.optype == SYNC) sync = node.seq_num;
    }
  }
}

// Sweeps the processor from its end. Under SC, and from a load under PC,
// everything later is reached. From a store or a lock operation under PC, the
// later stores are reached and, along the chain of operations to the same
// address, whatever the next of them reaches.
void OrderIndex::close_program_order(int_t p) {
  const auto& operations = state.graph[p];
  int_t nextLoad = kNone;
  int_t nextStore = kNone;
  std::unordered_map<int_t, int_t> nextOfAddr;
  for (auto k = static_cast<int_t>(operations.size()) - 1; k >= 0; --k) {
    const opnode& u = operations[k];
    int_t* own = row(u.id) + 2 * p;
    own[1] = nextStore;
    own[0] = nextLoad;
    if (state.MC == PC && u.optype != LOAD) {
      own[0] = nextStore == kNone ? kNone : row(id_of(p, nextStore))[2 * p];
      const auto same = nextOfAddr.find(u.addr);
      if (same != nextOfAddr.end()) {
        const opnode& a = operations[same->second];
        own[0] = std::min(own[0], row(a.id)[2 * p]);
        if (a.optype == LOAD) own[0] = std::min(own[0], a.seq_num);
      }
    }
    nextOfAddr[u.addr] = k;
    if (u.optype == LOAD) nextLoad = k;
    if (u.optype == STORE) nextStore = k;
  }
}

// Every node reaching x gains y and all y reaches. A node whose row already
// holds all of that is passed over with everything that reaches it, since
// their rows hold its row.
void OrderIndex::add_arc(const opnode* x, const opnode* y) {
  const bool tracked = y->optype == LOAD || y->optype == STORE;
  if (tracked && reaches(x, y)) return;
  carried_.assign(row(y->id), row(y->id) + width_);
  if (tracked) carried_[slot(y)] = std::min(carried_[slot(y)], y->seq_num);
  sources_[y->id].push_back(x->id);
  pending_.assign(1, x->id);
  while (!pending_.empty()) {
    const int_t id = pending_.back();
    pending_.pop_back();
    if (absorb(id, carried_.data())) push_predecessors(nodes_[id]);
  }
}

bool OrderIndex::absorb(int_t id, const int_t* t) {
  int_t* r = row(id);
  int_t changed = 0;
  for (std::size_t i = 0; i < width_; ++i) {
    changed |= t[i] < r[i] ? 1 : 0;
    r[i] = std::min(r[i], t[i]);
  }
  return changed != 0;
}

// Under PC a load or lock operation follows every earlier load and every
// earlier operation to its address: the latest of each stands for the rest.
// A store follows everything earlier: the latest store, the latest load and
// the lock operations between that store and it stand for the rest.
void OrderIndex::push_predecessors(const opnode* u) {
  const int_t p = u->proc_num;
  const auto push = [&](int_t seq) {
    if (seq >= 0) pending_.push_back(id_of(p, seq));
  };
  if (state.MC == SC) {
    push(u->seq_num - 1);
  } else if (u->optype == STORE) {
    const int_t store = prevStore_[u->id];
    push(store);
    push(prevLoad_[u->id]);
    for (int_t sync = prevSync_[u->id]; sync > store; sync = prevSync_[id_of(p, sync)]) push(sync);
  } else {
    push(prevLoad_[u->id]);
    push(prevSameAddr_[u->id]);
  }
  for (int_t source : sources_[u->id]) pending_.push_back(source);
}
