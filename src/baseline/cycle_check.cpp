#include "baseline/cycle_check.h"

#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "baseline/inserted_arcs.h"
#include "derive/program_order.h"
#include "graph/cycles.h"
#include "graph/marks.h"
#include "graph/skip_links.h"
#include "graph/strong_components.h"

namespace {

// The first operation, in processor-then-sequence order, on a cycle. A lock
// operation or a fence is entered only from an earlier operation of its
// processor, which lies on the same cycle, so only loads and stores need
// asking.
opnode* first_on_cycle(const OrderIndex& index) {
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      if (is_access(&node) && index.reaches(&node, &node)) return &node;
    }
  }
  return nullptr;
}

// Depth-first from the start over every operation's arcs in list order (the
// inferred arcs newest first, then the stored arcs, then program order from
// the processor's last operation down to the next one) until an arc leads
// back to the start; the cycle is that arc, the path back to the start, and
// the start. Gives up, with no cycle, when it would enter more operations
// than its budget allows. An arc into an operation entered before leads
// nowhere new, so program order passes over those.
class CycleWalk {
 public:
  CycleWalk(InsertedArcs& arcs, std::size_t budget)
      : arcs_(arcs), nodes_(nodes_by_id()), budget_(budget) {}

  std::optional<FoundCycle> walk(opnode* start);

 private:
  struct Frame {
    opnode* node;
    ORDER_t in;
    std::vector<int_t> inferred;  // oldest first
    std::size_t inferredLeft;     // counting down: newest first
    const oparc* stored;          // next stored arc
    int_t later;                  // next program-order successor, counting down
  };

  bool push(opnode* u, ORDER_t in);
  // The next arc of the frame's node in list order, or false when none is left.
  bool next_arc(Frame& frame, opnode*& target, ORDER_t& order);

  InsertedArcs& arcs_;
  std::vector<opnode*> nodes_;
  std::size_t budget_;
  std::vector<Frame> stack_;
  NodeMarks visited_;
  // The operations not entered yet, and the start.
  SkipLinks notEntered_{SkipLinks::Direction::Down};
  const opnode* start_ = nullptr;
};

bool CycleWalk::push(opnode* u, ORDER_t in) {
  if (budget_ == 0) return false;
  --budget_;
  visited_.set(u);
  if (u != start_) notEntered_.remove(u->proc_num, u->seq_num);
  std::vector<int_t> inferred = arcs_.of(u);
  const std::size_t count = inferred.size();
  stack_.push_back(
      {u, in, std::move(inferred), count, u->pointTo, state->procOpNum[u->proc_num] - 1});
  return true;
}

bool CycleWalk::next_arc(Frame& frame, opnode*& target, ORDER_t& order) {
  opnode* u = frame.node;
  if (frame.inferredLeft > 0) {
    target = nodes_[frame.inferred[--frame.inferredLeft]];
    order = IO;
    return true;
  }
  if (frame.stored != nullptr) {
    target = frame.stored->nptr;
    order = frame.stored->order;
    frame.stored = frame.stored->nxtarc;
    return true;
  }
  for (int_t k = notEntered_.nearest(u->proc_num, frame.later); k > u->seq_num;
       k = notEntered_.nearest(u->proc_num, k - 1)) {
    opnode* v = node_at(u->proc_num, k);
    if (keeps_order(state->MC, u, v)) {
      frame.later = k - 1;
      target = v;
      order = LO;
      return true;
    }
  }
  frame.later = u->seq_num;
  return false;
}

std::optional<FoundCycle> CycleWalk::walk(opnode* start) {
  visited_.clear();
  notEntered_ = SkipLinks(SkipLinks::Direction::Down);
  start_ = start;
  if (!push(start, LO)) return std::nullopt;
  opnode* target = nullptr;
  ORDER_t order = LO;
  while (!stack_.empty()) {
    if (!next_arc(stack_.back(), target, order)) {
      stack_.pop_back();
    } else if (target == start) {
      break;
    } else if (!visited_.test(target) && !push(target, order)) {
      return std::nullopt;
    }
  }
  if (stack_.empty()) return std::nullopt;
  FoundCycle cycle{{start}, {}};
  for (std::size_t i = stack_.size() - 1; i > 0; --i) {
    cycle.tags.push_back(order);
    cycle.nodes.push_back(stack_[i].node);
    order = stack_[i].in;
  }
  cycle.tags.push_back(order);
  cycle.nodes.push_back(start);
  return cycle;
}

// The cycle walked with arc lists rebuilt from the links, within the
// budget; or, without it, none.
std::optional<FoundCycle> walk_from_links(opnode*& start, std::size_t budget, bool ownReaders) {
  OverwriteInference inference(false, ownReaders);
  inference.run();
  start = first_on_cycle(inference.index());
  if (start == nullptr || budget == 0) return std::nullopt;
  ArcsFromLinks arcs(inference);
  return CycleWalk(arcs, budget).walk(start);
}

// Rebuilding an operation's arcs from the links costs a search over the
// whole graph; past a few dozen operations, one inference that keeps logs
// costs less than the searches still to come. Null when no cycle closes.
std::optional<FoundCycle> printed_cycle(std::size_t linkListBudget, bool ownReaders) {
  opnode* start = nullptr;
  std::optional<FoundCycle> cycle = walk_from_links(start, linkListBudget, ownReaders);
  if (start == nullptr || cycle) return cycle;
  OverwriteInference inference(true, ownReaders);
  inference.run();
  ArcsFromLogs arcs(inference);
  return CycleWalk(arcs, std::numeric_limits<std::size_t>::max()).walk(start);
}

bool closes_cycle() {
  OverwriteInference inference(false);
  inference.run_until_cycle();
  return inference.index().cyclic();
}

}  // namespace

// Under SC and PC, a store was once taken to be overwritten only after the
// loads that read it over a write-to arc, which passes some violations by. A
// violation that this older rule finds as well is printed with its cycle, so
// that those outputs stay as they were; the others with the cycle of the
// whole rule. Without a violation the older rule, which infers less, finds
// none either, so a run without one costs a single inference; with one, the
// whole rule's passes stop at the first that closes a cycle.
int_t verify_baseline_order(std::size_t linkListBudget) {
  const bool earlierRule = state->MC == SC || state->MC == PC;
  if (earlierRule && !closes_cycle()) return 0;
  std::optional<FoundCycle> cycle;
  if (earlierRule) cycle = printed_cycle(linkListBudget, false);
  if (!cycle) cycle = printed_cycle(linkListBudget, true);
  if (!cycle) return 0;
  report_cycle(std::move(*cycle));
  return 1;
}
