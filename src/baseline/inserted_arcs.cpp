#include "baseline/inserted_arcs.h"

#include <algorithm>

#include "graph/arc_store.h"
#include "trace/read_from.h"

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
  for (const auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (node.optype != LOAD) continue;
      const opnode* w = inference_.source_of(&node);
      Loads& address = loadsOfAddr_[node.addr];
      address.loads.push_back(&node);
      address.sources.push_back(w == &state->sentinel ? -1 : inference_.stores().address_rank(w));
    }
  }
}

std::vector<int_t> InsertedArcs::of(const opnode* u) {
  if (u->optype == STORE) return store_arcs(u);
  if (u->optype != LOAD) return {};
  const opnode* w = inference_.source_of(u);
  if (w == &state->sentinel) {
    std::vector<int_t> targets;
    for (const opnode* v : inference_.stores().all(u->addr)) targets.push_back(v->id);
    return targets;
  }
  const bool ownEarlier = inference_.takes_own_readers() && reads_earlier_own_store(w, u);
  return ownEarlier || has_arc(w, u, Wt) != 0 ? load_arcs(w) : std::vector<int_t>{};
}

// The first turn that takes v -> w, by w's address rank.
template <typename Taking>
std::vector<int_t> InsertedArcs::store_arcs_by(const opnode* v, Taking taking) {
  const std::vector<opnode*>& stores = inference_.stores().all(v->addr);
  const auto loads = loadsOfAddr_.find(v->addr);
  if (loads == loadsOfAddr_.end()) return {};
  const Loads& address = loads->second;
  const int_t own = inference_.stores().address_rank(v);
  first_.assign(stores.size(), ArrivalTimes::kNever);
  for (std::size_t k = 0; k < address.loads.size(); ++k) {
    const int_t w = address.sources[k];
    if (w < 0 || w == own) continue;
    const std::int64_t pass = taking(k, address.loads[k]);
    if (pass == 0) continue;
    const std::int64_t when = pass * inference_.turns() + inference_.turn_of(address.loads[k]);
    first_[w] = std::min(first_[w], when);
  }
  std::vector<Taken> taken;
  for (std::size_t w = 0; w < first_.size(); ++w) {
    if (first_[w] != ArrivalTimes::kNever) taken.push_back({first_[w], stores[w]->id});
  }
  std::sort(taken.begin(), taken.end());
  return targets_of(taken);
}

const std::vector<const opnode*>& InsertedArcs::loads_of(int_t addr) const {
  static const std::vector<const opnode*> kNone;
  const auto loads = loadsOfAddr_.find(addr);
  return loads == loadsOfAddr_.end() ? kNone : loads->second.loads;
}

// The address's stores come in processor-then-sequence order; a counting
// sort by pass keeps that order within a pass.
std::vector<int_t> InsertedArcs::by_pass(const opnode* w) const {
  const std::vector<opnode*>& stores = inference_.stores().all(w->addr);
  std::int64_t last = 0;
  for (std::int64_t pass : passes_) last = std::max(last, pass);
  std::vector<std::size_t> start(static_cast<std::size_t>(last) + 2, 0);
  for (std::size_t k = 0; k < stores.size(); ++k) {
    if (stores[k] != w) ++start[static_cast<std::size_t>(passes_[k]) + 1];
  }
  for (std::size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
  const std::size_t untaken = start[1];
  std::vector<int_t> targets(start.back() - untaken);
  for (std::size_t k = 0; k < stores.size(); ++k) {
    if (passes_[k] != 0 && stores[k] != w)
      targets[start[static_cast<std::size_t>(passes_[k])]++ - untaken] = stores[k]->id;
  }
  return targets;
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
  return store_arcs_by(
      v, [&](std::size_t, const opnode* r) { return pass_after(arrival[index.place(r)], r); });
}

std::vector<int_t> ArcsFromLinks::load_arcs(const opnode* w) {
  const std::vector<std::int64_t>& arrival = times_.from(w);
  const OrderIndex& index = inference_.index();
  const std::vector<opnode*>& stores = inference_.stores().all(w->addr);
  passes_.resize(stores.size());
  for (std::size_t k = 0; k < stores.size(); ++k)
    passes_[k] = pass_after(arrival[index.place(stores[k])], w);
  return by_pass(w);
}

ArcsFromLogs::ArcsFromLogs(const OverwriteInference& inference) : InsertedArcs(inference) {
  number_loads();
  sort_prefix_log();
}

void ArcsFromLogs::number_loads() {
  loadNumber_.assign(static_cast<std::size_t>(state->nodeCount) + 1, 0);
  std::unordered_map<int_t, std::size_t> next;
  for (const auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (node.optype != LOAD) continue;
      const auto [first, added] = firstLoadOfAddr_.try_emplace(node.addr, loadCount_);
      if (added) loadCount_ += loads_of(node.addr).size();
      loadNumber_[node.id] = first->second + next[node.addr]++;
    }
  }
}

void ArcsFromLogs::sort_prefix_log() {
  const HandledLog& log = inference_.prefixes();
  const std::size_t processors = state->graph.size();
  const auto slot = [&](std::size_t entry) {
    const std::size_t key = log.keys()[entry];
    return key % processors * loadCount_ + loadNumber_[key / processors];
  };
  slotStart_.assign(processors * loadCount_ + 1, 0);
  for (std::size_t i = 0; i < log.keys().size(); ++i) ++slotStart_[slot(i) + 1];
  for (std::size_t s = 1; s < slotStart_.size(); ++s) slotStart_[s] += slotStart_[s - 1];
  std::vector<int_t> placed(slotStart_.begin(), slotStart_.end() - 1);
  bounds_.resize(log.keys().size());
  for (std::size_t i = 0; i < log.keys().size(); ++i) {
    const HandledLog::Entry& entry = log.entries()[i];
    bounds_[static_cast<std::size_t>(placed[slot(i)]++)] = {entry.pass, entry.bound};
  }
}

// A load's prefix bounds only grow from pass to pass: the pass that took
// the store is the earliest whose bound lies beyond it.
std::vector<int_t> ArcsFromLogs::store_arcs(const opnode* v) {
  const auto first = firstLoadOfAddr_.find(v->addr);
  if (first == firstLoadOfAddr_.end()) return {};
  const int_t rank = inference_.stores().rank(v);
  const std::size_t base = static_cast<std::size_t>(v->proc_num) * loadCount_ + first->second;
  return store_arcs_by(v, [&](std::size_t k, const opnode*) -> std::int64_t {
    const auto begin = bounds_.begin() + slotStart_[base + k];
    const auto end = bounds_.begin() + slotStart_[base + k + 1];
    const auto taken = std::partition_point(
        begin, end, [rank](const Bound& entry) { return entry.bound <= rank; });
    return taken == end ? 0 : taken->pass;
  });
}

// A store's suffix bounds only fall from pass to pass: each entry took the
// stores from its bound up to the bound of the entry before it.
std::vector<int_t> ArcsFromLogs::load_arcs(const opnode* w) {
  const HandledLog& log = inference_.suffixes();
  passes_.assign(inference_.stores().all(w->addr).size(), 0);
  std::size_t offset = 0;
  for (const auto& group : inference_.stores().of(w->addr)) {
    entries_.clear();
    for (const HandledLog::Entry* entry = log.newest(HandledLog::key(w, group.processor));
         entry != nullptr; entry = log.before(*entry))
      entries_.push_back(entry);
    auto to = static_cast<int_t>(group.stores.size());
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
      for (int_t k = (*entry)->bound; k < to; ++k)
        passes_[offset + static_cast<std::size_t>(k)] = (*entry)->pass;
      to = (*entry)->bound;
    }
    offset += group.stores.size();
  }
  return by_pass(w);
}
