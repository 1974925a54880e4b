#include "baseline/overwrite_inference.h"

#include <algorithm>

#include "graph/arc_store.h"
#include "trace/read_from.h"

StoresByAddr::StoresByAddr(const OrderIndex& index)
    : rank_(static_cast<std::size_t>(state->nodeCount) + 1, -1), addressRank_(rank_.size(), -1) {
  for (std::size_t p = 0; p < state->graph.size(); ++p) {
    for (opnode& node : state->graph[p]) {
      if (node.optype != STORE) continue;
      Groups& groups = byAddr_[node.addr];
      if (groups.empty() || groups.back().processor != p) groups.push_back({p, {}, {}, {}});
      Group& group = groups.back();
      rank_[node.id] = static_cast<int_t>(group.stores.size());
      group.stores.push_back(&node);
      group.places.push_back(index.place(&node));
      group.seqs.push_back(node.seq_num);
      std::vector<opnode*>& all = allOfAddr_[node.addr];
      addressRank_[node.id] = static_cast<int_t>(all.size());
      all.push_back(&node);
    }
  }
}

OverwriteInference::OverwriteInference(bool logged, bool ownReaders)
    : stores_(index_),
      prefixDone_(static_cast<std::size_t>(state->nodeCount + 1) * state->graph.size(), 0),
      suffixStart_(prefixDone_.size(), OrderIndex::kNone),
      seen_(static_cast<std::size_t>(state->nodeCount) + 1, -1),
      sourceOf_(seen_.size(), nullptr),
      groupsOf_(seen_.size(), nullptr),
      inCycle_(seen_.size(), 0),
      turn_(seen_.size(), 0),
      ownReaders_(ownReaders) {
  if (logged) {
    prefixes_.emplace();
    suffixes_.emplace();
  }
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      turn_[node.id] = turns_++;
      for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc)
        index_.add_arc(&node, arc->nptr);
      if (node.optype != LOAD) continue;
      sourceOf_[node.id] = st_mapping(&node);
      groupsOf_[node.id] = &stores_.of(node.addr);
    }
  }
}

bool OverwriteInference::pass() {
  ++pass_;
  const std::int64_t before = index_.version();
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      step_ = pass_ * turns_ + turn_[node.id];
      if (node.optype == STORE) overwritten_after(&node);
      if (node.optype == LOAD) read_by(&node);
    }
  }
  return index_.version() != before;
}

void OverwriteInference::link(const opnode* x, const opnode* y) {
  const std::int64_t before = index_.version();
  index_.add_arc(x, y);
  if (index_.version() != before) links_.push_back({index_.place(x), index_.place(y), step_});
}

// A load of the initial value precedes every store to its address, all
// inserted in the first pass; the first store of each processor stands for
// the rest.
void OverwriteInference::read_initial(opnode* r) {
  for (const Group& group : stores_.of(r->addr)) link(r, group.stores.front());
}

// Once r reaches w, every store that reaches r reaches w, so the arcs v -> w
// change nothing and, without logs, r's turns are passed over.
void OverwriteInference::read_by(opnode* r) {
  opnode* w = sourceOf_[r->id];
  if (w == &state->sentinel) {
    if (pass_ == 1) read_initial(r);
    return;
  }
  if (!prefixes_ && (inCycle_[r->id] != 0 || index_.reaches(r, w))) {
    inCycle_[r->id] = 1;
    return;
  }
  const int_t* done = &prefixDone_[HandledLog::key(r, 0)];
  for (const Group& group : *groupsOf_[r->id]) {
    if (may_take(group, done[group.processor], w, r)) take_prefix(group, w, r);
  }
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
void OverwriteInference::take_prefix(const Group& group, opnode* w, opnode* r) {
  int_t& done = prefixDone_[HandledLog::key(r, group.processor)];
  const int_t end = prefix_end(group, done, w, r);
  const int_t last = group.stores[end - 1] == w ? end - 2 : end - 1;
  if (last >= done) link(group.stores[last], w);
  if (prefixes_) prefixes_->add(HandledLog::key(r, group.processor), pass_, end);
  done = end;
}

// The stores that reach r form a prefix of the group (an earlier store
// reaches a later one). w is passed over untested, and when it ends the
// prefix the store after it fails too, since w would reach r through it.
// Asked only when `may_take` holds. The prefix mostly grows by a few stores
// a pass, so the search gallops from where it stood.
int_t OverwriteInference::prefix_end(const Group& group, int_t done, const opnode* w,
                                     const opnode* r) const {
  const auto size = static_cast<int_t>(group.stores.size());
  const auto reaching = [&](std::size_t place) { return index_.reaches_from(place, r); };
  int_t known = done;
  int_t step = 1;
  while (known + step < size && reaching(group.places[known + step])) {
    known += step;
    step *= 2;
  }
  const auto begin = group.places.begin();
  int_t first = static_cast<int_t>(
      std::partition_point(begin + known, begin + std::min(known + step, size), reaching) - begin);
  if (first < size && group.stores[first] == w) ++first;
  return first;
}

// Every load that read w precedes each store w reaches.
// The arcs from the loads add nothing to what w reaches, since w reaches
// every such load; so when w reaches nothing new since its last turn, its
// turn takes nothing. Nor do they change anything once every such load
// reaches w, and then, without logs, w's turns are passed over.
void OverwriteInference::overwritten_after(opnode* w) {
  if (index_.changed_at(w) <= seen_[w->id]) return;
  readers_.clear();
  bool open = false;
  for (const oparc* arc = w->pointTo; arc != nullptr; arc = arc->nxtarc) {
    if (arc->order == Wt) readers_.push_back(arc->nptr);
  }
  if (ownReaders_) add_own_readers(w);
  for (const opnode* r : readers_) open = open || !index_.reaches(r, w);
  if (open || (suffixes_ && !readers_.empty())) {
    for (const Group& group : stores_.of(w->addr)) take_suffix(group, w);
  }
  seen_[w->id] = index_.version();
}

// The later loads of w's own processor that read it, which have no write-to
// arc (under TSO each may have taken w from the buffer): they are
// overwritten all the same by the stores that w precedes.
void OverwriteInference::add_own_readers(const opnode* w) {
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* r = ld_mapping(cell);
    if (reads_earlier_own_store(w, r)) readers_.push_back(r);
  }
}

// The stores of a processor that w reaches form a suffix, taken from its
// first store down to where the last pass's suffix began; its first store
// other than w stands for the rest.
void OverwriteInference::take_suffix(const Group& group, opnode* w) {
  int_t& start = suffixStart_[HandledLog::key(w, group.processor)];
  start = std::min(start, static_cast<int_t>(group.stores.size()));
  const int_t reached = index_.first_reached(
      w, OrderIndex::store_chain(static_cast<int_t>(group.processor), w->column));
  const auto seqs = group.seqs.begin();
  const auto from = static_cast<int_t>(std::lower_bound(seqs, seqs + start, reached) - seqs);
  const int_t first = from < start && group.stores[from] == w ? from + 1 : from;
  if (first < start) {
    for (opnode* r : readers_) link(r, group.stores[first]);
  }
  if (suffixes_ && from < start) suffixes_->add(HandledLog::key(w, group.processor), pass_, from);
  start = from;
}
