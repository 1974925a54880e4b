#include "baseline/inserted_arcs.h"

#include <algorithm>

#include "graph/arc_store.h"

namespace {

struct Taken {
  std::int64_t when;
  int_t target;
  bool operator<(const Taken& other) const { return when < other.when; }
};

std::vector<int_t> targets_of(const std::vector<Taken>& taken) {
  std::vector<int_t> targets;
  targets.reserve(taken.size());
  for (const Taken& arc : taken) targets.push_back(arc.target);
  return targets;
}

}  // namespace

InsertedArcs::InsertedArcs(const OverwriteInference& inference) : inference_(inference) {
  for (const auto& operations : state.graph) {
    for (const opnode& node : operations) {
      if (node.optype == LOAD) loadsOfAddr_[node.addr].push_back(&node);
    }
  }
}

std::vector<int_t> InsertedArcs::of(const opnode* u) {
  if (u->optype == STORE) return store_arcs(u);
  if (u->optype != LOAD) return {};
  const opnode* w = inference_.source_of(u);
  if (w == &state.sentinel) {
    std::vector<int_t> targets;
    for (const auto& group : inference_.stores().of(u->addr)) {
      for (const opnode* v : group.stores) targets.push_back(v->id);
    }
    return targets;
  }
  return has_arc(w, u, Wt) == 0 ? std::vector<int_t>{} : load_arcs(w);
}

template <typename Taking>
std::vector<int_t> InsertedArcs::store_arcs_by(const opnode* v, Taking taking) const {
  const auto loads = loadsOfAddr_.find(v->addr);
  if (loads == loadsOfAddr_.end()) return {};
  std::unordered_map<int_t, std::int64_t> first;
  for (const opnode* r : loads->second) {
    const opnode* w = inference_.source_of(r);
    if (w == &state.sentinel || w == v) continue;
    const std::int64_t pass = taking(r);
    if (pass == 0) continue;
    const std::int64_t when = pass * inference_.turns() + inference_.turn_of(r);
    auto [at, fresh] = first.try_emplace(w->id, when);
    if (!fresh) at->second = std::min(at->second, when);
  }
  std::vector<Taken> taken;
  for (const auto& [target, when] : first) taken.push_back({when, target});
  std::sort(taken.begin(), taken.end());
  return targets_of(taken);
}

// Listed by processor and sequence number, then sorted by pass alone.
template <typename Taking>
std::vector<int_t> InsertedArcs::load_arcs_by(const opnode* w, Taking taking) const {
  std::vector<Taken> taken;
  for (const auto& group : inference_.stores().of(w->addr)) {
    for (const opnode* s : group.stores) {
      const std::int64_t pass = s == w ? 0 : taking(s);
      if (pass != 0) taken.push_back({pass, s->id});
    }
  }
  std::stable_sort(taken.begin(), taken.end());
  return targets_of(taken);
}

ArcsFromLinks::ArcsFromLinks(const OverwriteInference& inference)
    : InsertedArcs(inference), times_(inference) {}

std::int64_t ArcsFromLinks::pass_after(std::int64_t step, const opnode* u) const {
  if (step == ArrivalTimes::kNever) return 0;
  if (step == 0) return 1;
  const std::int64_t pass = step / inference_.turns();
  return step % inference_.turns() < inference_.turn_of(u) ? pass : pass + 1;
}

std::vector<int_t> ArcsFromLinks::store_arcs(const opnode* v) {
  const std::vector<std::int64_t>& arrival = times_.from(v);
  const OrderIndex& index = inference_.index();
  return store_arcs_by(v, [&](const opnode* r) { return pass_after(arrival[index.place(r)], r); });
}

std::vector<int_t> ArcsFromLinks::load_arcs(const opnode* w) {
  const std::vector<std::int64_t>& arrival = times_.from(w);
  const OrderIndex& index = inference_.index();
  return load_arcs_by(w, [&](const opnode* s) { return pass_after(arrival[index.place(s)], w); });
}

ArcsFromLogs::ArcsFromLogs(const OverwriteInference& inference) : InsertedArcs(inference) {}

// A load's prefix bounds only grow from pass to pass: the pass that took
// the store is the earliest whose bound lies beyond it.
std::vector<int_t> ArcsFromLogs::store_arcs(const opnode* v) {
  const HandledLog& log = inference_.prefixes();
  const int_t rank = inference_.stores().rank(v);
  const auto p = static_cast<std::size_t>(v->proc_num);
  return store_arcs_by(v, [&](const opnode* r) {
    std::int64_t pass = 0;
    for (const HandledLog::Entry* entry = log.newest(HandledLog::key(r, p));
         entry != nullptr && entry->bound > rank; entry = log.before(*entry))
      pass = entry->pass;
    return pass;
  });
}

// A store's suffix bounds only fall from pass to pass: the pass that took
// the store is the earliest whose bound lies at or before it.
std::vector<int_t> ArcsFromLogs::load_arcs(const opnode* w) {
  const HandledLog& log = inference_.suffixes();
  return load_arcs_by(w, [&](const opnode* s) {
    const int_t rank = inference_.stores().rank(s);
    std::int64_t pass = 0;
    for (const HandledLog::Entry* entry =
             log.newest(HandledLog::key(w, static_cast<std::size_t>(s->proc_num)));
         entry != nullptr && entry->bound <= rank; entry = log.before(*entry))
      pass = entry->pass;
    return pass;
  });
}
