#include "baseline/cycle_check.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "baseline/overwrite_inference.h"
#include "derive/program_order.h"
#include "graph/arc_store.h"
#include "graph/cycles.h"
#include "graph/marks.h"
#include "graph/strong_components.h"
#include "trace/read_from.h"

namespace {

using Group = StoresByAddr::Group;

// The first operation, in processor-then-sequence order, on a cycle. A lock
// operation is entered only from an earlier operation of its processor, which
// lies on the same cycle, so only loads and stores need asking.
opnode* first_on_cycle(const OrderIndex& index) {
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype != SYNC && index.reaches(&node, &node)) return &node;
    }
  }
  return nullptr;
}

// The inferred arcs of an operation in the order the inference inserted
// them, rebuilt from its logs. An arc is inserted at the first step that
// takes it: by pass, then by the turn of the operation whose rule took it
// (processor-then-sequence order), then within that turn by processor and
// sequence number of the target. An arc taken again later is not inserted
// again.
class InsertedArcs {
 public:
  explicit InsertedArcs(const OverwriteInference& inference)
      : inference_(inference), nodes_(nodes_by_id()), turn_(nodes_.size(), 0) {
    for (const auto& operations : state.graph) {
      for (const opnode& node : operations) {
        turn_[node.id] = turns_++;
        if (node.optype == LOAD) loadsOfAddr_[node.addr].push_back(&node);
      }
    }
  }

  // Target ids, oldest first.
  std::vector<int_t> of(const opnode* u) const {
    if (u->optype == STORE) return from_store(u);
    if (u->optype == LOAD) return from_load(u);
    return {};
  }

  opnode* node(int_t id) const { return nodes_[id]; }

 private:
  struct Taken {
    std::int64_t when;
    int_t target;
    bool operator<(const Taken& other) const { return when < other.when; }
  };

  std::vector<int_t> from_load(const opnode* r) const;
  std::vector<int_t> from_store(const opnode* v) const;
  // The pass in which the prefix rule of load r took the store of rank
  // `rank` in processor p's group, or 0 when it never did.
  int_t pass_taking(const opnode* r, std::size_t p, int_t rank) const;

  const OverwriteInference& inference_;
  std::vector<opnode*> nodes_;
  std::vector<std::int64_t> turn_;  // by node id: its place in processor-then-sequence order
  std::unordered_map<int_t, std::vector<const opnode*>> loadsOfAddr_;
  std::int64_t turns_ = 0;
};

// A load of the initial value gets every store to its address at its first
// turn. A load that read w over a write-to arc gets, at each of w's turns,
// every processor's newly reached stores, by processor and in sequence
// order.
std::vector<int_t> InsertedArcs::from_load(const opnode* r) const {
  const opnode* w = st_mapping(r);
  std::vector<int_t> targets;
  if (w == &state.sentinel) {
    for (const Group& group : inference_.stores().of(r->addr)) {
      for (const opnode* v : group.stores) targets.push_back(v->id);
    }
    return targets;
  }
  if (has_arc(w, r, Wt) == 0) return targets;
  struct Step {
    int_t pass;
    std::size_t processor;
    const Group* group;
    int_t from;
    int_t to;
    bool operator<(const Step& other) const {
      return pass != other.pass ? pass < other.pass : processor < other.processor;
    }
  };
  std::vector<Step> steps;
  for (const Group& group : inference_.stores().of(w->addr)) {
    const HandledLog& log = inference_.suffixes();
    for (const HandledLog::Entry* entry = log.newest(HandledLog::key(w, group.processor));
         entry != nullptr; entry = log.before(*entry)) {
      const HandledLog::Entry* earlier = log.before(*entry);
      const auto to = earlier == nullptr ? static_cast<int_t>(group.stores.size()) : earlier->bound;
      steps.push_back({entry->pass, group.processor, &group, entry->bound, to});
    }
  }
  std::sort(steps.begin(), steps.end());
  for (const Step& step : steps) {
    for (int_t k = step.from; k < step.to; ++k) {
      if (step.group->stores[k] != w) targets.push_back(step.group->stores[k]->id);
    }
  }
  return targets;
}

// A store v gets v -> w at the first turn of a load that read w in which
// the load's prefix rule takes v.
std::vector<int_t> InsertedArcs::from_store(const opnode* v) const {
  std::unordered_map<int_t, std::int64_t> first;
  const auto loads = loadsOfAddr_.find(v->addr);
  if (loads == loadsOfAddr_.end()) return {};
  const auto p = static_cast<std::size_t>(v->proc_num);
  const int_t rank = inference_.stores().rank(v);
  for (const opnode* r : loads->second) {
    const opnode* w = st_mapping(r);
    if (w == &state.sentinel || w == v) continue;
    const int_t pass = pass_taking(r, p, rank);
    if (pass == 0) continue;
    const std::int64_t when = pass * turns_ + turn_[r->id];
    auto [at, fresh] = first.try_emplace(w->id, when);
    if (!fresh) at->second = std::min(at->second, when);
  }
  std::vector<Taken> arcs;
  for (const auto& [target, when] : first) arcs.push_back({when, target});
  std::sort(arcs.begin(), arcs.end());
  std::vector<int_t> targets;
  for (const Taken& arc : arcs) targets.push_back(arc.target);
  return targets;
}

// The bounds only grow from pass to pass: the pass that took the store is
// the earliest whose bound lies beyond it.
int_t InsertedArcs::pass_taking(const opnode* r, std::size_t p, int_t rank) const {
  const HandledLog& log = inference_.prefixes();
  int_t pass = 0;
  for (const HandledLog::Entry* entry = log.newest(HandledLog::key(r, p));
       entry != nullptr && entry->bound > rank; entry = log.before(*entry))
    pass = entry->pass;
  return pass;
}

// Depth-first from the start over every operation's arcs in list order (the
// inferred arcs newest first, then the stored arcs, then program order from
// the processor's last operation down to the next one) until an arc leads
// back to the start; then prints that arc, the path back to the start, and
// the start.
class CyclePrinter {
 public:
  explicit CyclePrinter(const InsertedArcs& arcs) : arcs_(arcs) {}

  void print(opnode* start);

 private:
  struct Frame {
    opnode* node;
    ORDER_t in;
    const std::vector<int_t>* inferred;
    std::size_t inferredLeft;  // counting down: newest first
    const oparc* stored;       // next stored arc
    int_t later;               // next program-order successor, counting down
  };

  void push(opnode* u, ORDER_t in);
  // The next arc of the frame's node in list order, or false when none is left.
  bool next_arc(Frame& frame, opnode*& target, ORDER_t& order) const;

  const InsertedArcs& arcs_;
  std::unordered_map<int_t, std::vector<int_t>> lists_;
  std::vector<Frame> stack_;
  NodeMarks visited_;
};

void CyclePrinter::push(opnode* u, ORDER_t in) {
  visited_.set(u);
  const std::vector<int_t>& inferred = lists_.emplace(u->id, arcs_.of(u)).first->second;
  stack_.push_back(
      {u, in, &inferred, inferred.size(), u->pointTo, state.procOpNum[u->proc_num] - 1});
}

bool CyclePrinter::next_arc(Frame& frame, opnode*& target, ORDER_t& order) const {
  opnode* u = frame.node;
  if (frame.inferredLeft > 0) {
    target = arcs_.node((*frame.inferred)[--frame.inferredLeft]);
    order = IO;
    return true;
  }
  if (frame.stored != nullptr) {
    target = frame.stored->nptr;
    order = frame.stored->order;
    frame.stored = frame.stored->nxtarc;
    return true;
  }
  while (frame.later > u->seq_num) {
    opnode* v = node_at(u->proc_num, frame.later--);
    if (keeps_order(state.MC, u, v)) {
      target = v;
      order = LO;
      return true;
    }
  }
  return false;
}

void CyclePrinter::print(opnode* start) {
  visited_.clear();
  push(start, LO);
  opnode* target = nullptr;
  ORDER_t order = LO;
  while (!stack_.empty()) {
    if (!next_arc(stack_.back(), target, order)) {
      stack_.pop_back();
    } else if (target == start) {
      break;
    } else if (!visited_.test(target)) {
      push(target, order);
    }
  }
  FoundCycle cycle{{start}, {}};
  for (std::size_t i = stack_.size() - 1; i > 0; --i) {
    cycle.tags.push_back(order);
    cycle.nodes.push_back(stack_[i].node);
    order = stack_[i].in;
  }
  cycle.tags.push_back(order);
  cycle.nodes.push_back(start);
  report_cycle(std::move(cycle));
}

}  // namespace

int_t verify_baseline_order() {
  OverwriteInference inference;
  inference.run();
  opnode* start = first_on_cycle(inference.index());
  if (start == nullptr) return 0;
  const InsertedArcs arcs(inference);
  CyclePrinter(arcs).print(start);
  return 1;
}
