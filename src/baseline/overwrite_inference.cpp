#include "baseline/overwrite_inference.h"

#include <algorithm>

#include "graph/arc_store.h"
#include "trace/read_from.h"

StoresByAddr::StoresByAddr(const OrderIndex& index)
    : rank_(static_cast<std::size_t>(state.nodeCount) + 1, -1) {
  for (std::size_t p = 0; p < state.graph.size(); ++p) {
    for (opnode& node : state.graph[p]) {
      if (node.optype != STORE) continue;
      Groups& groups = byAddr_[node.addr];
      if (groups.empty() || groups.back().processor != p)
        groups.push_back({p, OrderIndex::store_chain(static_cast<int_t>(p)), {}, {}, {}});
      Group& group = groups.back();
      rank_[node.id] = static_cast<int_t>(group.stores.size());
      group.stores.push_back(&node);
      group.places.push_back(index.place(&node));
      group.seqs.push_back(node.seq_num);
    }
  }
}

OverwriteInference::OverwriteInference()
    : stores_(index_),
      prefixDone_(static_cast<std::size_t>(state.nodeCount + 1) * state.graph.size(), 0),
      suffixStart_(prefixDone_.size(), OrderIndex::kNone),
      seen_(static_cast<std::size_t>(state.nodeCount) + 1, -1),
      sourceOf_(seen_.size(), nullptr),
      groupsOf_(seen_.size(), nullptr) {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc)
        index_.add_arc(&node, arc->nptr);
      if (node.optype != LOAD) continue;
      sourceOf_[node.id] = st_mapping(&node);
      groupsOf_[node.id] = &stores_.of(node.addr);
    }
  }
}

int_t OverwriteInference::pass() {
  ++pass_;
  int_t taken = 0;
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype == STORE) taken += overwritten_after(&node);
      if (node.optype == LOAD) taken += read_by(&node);
    }
  }
  return taken;
}

// A load of the initial value precedes every store to its address, all
// inserted in the first pass; the first store of each processor stands for
// the rest.
int_t OverwriteInference::read_initial(opnode* r) {
  int_t taken = 0;
  for (const Group& group : stores_.of(r->addr)) {
    index_.add_arc(r, group.stores.front());
    taken += static_cast<int_t>(group.stores.size());
  }
  return taken;
}

int_t OverwriteInference::read_by(opnode* r) {
  opnode* w = sourceOf_[r->id];
  if (w == &state.sentinel) return pass_ == 1 ? read_initial(r) : 0;
  const int_t* done = &prefixDone_[HandledLog::key(r, 0)];
  int_t taken = 0;
  for (const Group& group : *groupsOf_[r->id]) {
    if (may_take(group, done[group.processor], w, r)) taken += take_prefix(group, w, r);
  }
  return taken;
}

// Whether the next store to ask, the first from `done` on other than w,
// reaches r: if it does not, no later one does.
bool OverwriteInference::may_take(const Group& group, int_t done, const opnode* w,
                                  const opnode* r) const {
  const auto size = static_cast<int_t>(group.stores.size());
  const int_t asked = done < size && group.stores[done] == w ? done + 1 : done;
  return asked < size && index_.reaches_from(group.places[asked], r);
}

// Each processor's stores that reach r, taken in sequence order from where
// the last pass stopped, are overwritten by w; the last of them stands for
// the rest.
int_t OverwriteInference::take_prefix(const Group& group, opnode* w, opnode* r) {
  const std::size_t key = HandledLog::key(r, group.processor);
  int_t& done = prefixDone_[key];
  const int_t end = prefix_end(group, done, w, r);
  if (end == done) return 0;
  const int_t last = group.stores[end - 1] == w ? end - 2 : end - 1;
  if (last >= done) index_.add_arc(group.stores[last], w);
  const int_t taken = others(group, done, end, w);
  prefixes_.add(key, pass_, end);
  done = end;
  return taken;
}

// The stores that reach r form a prefix of the group (an earlier store
// reaches a later one). w is passed over untested, and when it ends the
// prefix the store after it fails too, since w would reach r through it.
// Asked only when `may_take` holds. The prefix mostly grows by a few stores
// a pass, so the search gallops from where it stood.
int_t OverwriteInference::prefix_end(const Group& group, int_t done, const opnode* w,
                                     const opnode* r) const {
  const auto size = static_cast<int_t>(group.stores.size());
  const auto reaching = [&](int_t k) { return index_.reaches_from(group.places[k], r); };
  int_t known = done;
  int_t step = 1;
  while (known + step < size && reaching(known + step)) {
    known += step;
    step *= 2;
  }
  const auto begin = group.places.begin();
  const auto end = begin + std::min(known + step, size);
  int_t first = static_cast<int_t>(
      std::partition_point(begin + known, end,
                           [&](std::size_t place) { return index_.reaches_from(place, r); }) -
      begin);
  if (first < size && group.stores[first] == w) ++first;
  return first;
}

// Every load that read w over a write-to arc precedes each store w reaches.
// The arcs from the loads add nothing to what w reaches, since w reaches
// every such load; so when w reaches nothing new since its last turn, its
// turn takes nothing.
int_t OverwriteInference::overwritten_after(opnode* w) {
  if (index_.changed_at(w) <= seen_[w->id]) return 0;
  readers_.clear();
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* r = ld_mapping(cell);
    if (has_arc(w, r, Wt) != 0) readers_.push_back(r);
  }
  int_t taken = 0;
  if (!readers_.empty()) {
    for (const Group& group : stores_.of(w->addr)) taken += take_suffix(group, w);
  }
  seen_[w->id] = index_.version();
  return taken;
}

// The stores of a processor that w reaches form a suffix, taken from its
// first store down to where the last pass's suffix began; its first store
// other than w stands for the rest.
int_t OverwriteInference::take_suffix(const Group& group, opnode* w) {
  const std::size_t key = HandledLog::key(w, group.processor);
  int_t& start = suffixStart_[key];
  start = std::min(start, static_cast<int_t>(group.stores.size()));
  const auto first_of = group.seqs.begin();
  const int_t from = static_cast<int_t>(
      std::lower_bound(first_of, first_of + start, index_.first_reached(w, group.chain)) -
      first_of);
  if (from == start) return 0;
  const int_t first = group.stores[from] == w ? from + 1 : from;
  for (opnode* r : readers_) {
    if (first < start) index_.add_arc(r, group.stores[first]);
  }
  const int_t taken = others(group, from, start, w) * static_cast<int_t>(readers_.size());
  suffixes_.add(key, pass_, from);
  start = from;
  return taken;
}

int_t OverwriteInference::others(const Group& group, int_t from, int_t to, const opnode* w) const {
  const bool holdsW = static_cast<std::size_t>(w->proc_num) == group.processor &&
                      stores_.rank(w) >= from && stores_.rank(w) < to;
  return to - from - (holdsW ? 1 : 0);
}
