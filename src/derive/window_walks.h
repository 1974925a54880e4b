// The window walks of the inference, kept per starting operation.
//
// The inference asks, for many pairs, whether `before` is ordered before
// `after`: whether a walk from `before` over the arcs, entering only
// operations of before's pending windows, meets an arc into `after` or into
// an operation timed before it. Most of these walks fail, and many start at
// the same operation: every store w is asked about for each load that read
// it and each store in that load's window. A walk that fails enters exactly
// the operations it can reach this way and looks at every arc that leaves
// them. That set, and the targets of those arcs, depend on `before` alone,
// not on `after`. So the first failing walk from an operation is kept: its
// operations and the targets it met. Any later question from the same
// operation is answered from the targets, after the walk has been brought
// up to date with the arcs inserted since (arcs are only ever added, so it
// only grows). A pair that asked before need only read the targets met
// since.
#pragma once

#include <cstddef>
#include <vector>

#include "derive/write_to.h"
#include "graph/marks.h"
#include "graph/walk_stack.h"
#include "qirn.h"

// A walk from `start` over the arcs that enters only operations of
// `before`'s pending windows that `visited` does not hold. `met(n)` hears
// of every arc target it looks at and ends the walk when it answers true;
// `entered(n)` hears of every operation entered past the start.
template <typename Met, typename Entered>
bool walk_window(const opnode* before, opnode* start, NodeMarks& visited, Met met,
                 Entered entered) {
  thread_local WalkStack stack;
  const auto never = [](const opnode*) { return false; };
  const auto in_window = [before, &entered](const opnode* n) {
    if (op_in_pw(before, n) == 0) return false;
    entered(n);
    return true;
  };
  return walk_arcs(stack, start, visited, met, never, in_window) != nullptr;
}

class WindowWalks {
 public:
  // A question's answer: whether `before` reaches `after` and, when it does
  // not, the kept walk that said so and how many of its targets the
  // question has read.
  struct Answer {
    bool reaches;
    int_t walk;
    std::size_t seen;
  };

  WindowWalks();

  // check_go's answer for before and after, now.
  Answer ask(opnode* before, const opnode* after);
  // The answer now for a pair whose walk `walk` said no when it had `seen`
  // targets; `seen` becomes the count read now.
  bool reaches_now(int_t walk, const opnode* after, std::size_t& seen);

  // Notes the arc from -> to that the inference has just inserted.
  void inserted(const opnode* from, opnode* to);
  // How many arcs have been noted.
  std::size_t noted() const { return log_.size(); }
  // Whether an arc from `from` was noted after the first `at`.
  bool noted_since(const opnode* from, std::size_t at) const {
    return since(newestFrom_[from->id], at);
  }

 private:
  struct Walk {
    opnode* start;
    std::vector<int_t> entered;          // operations entered past the start
    std::vector<const opnode*> targets;  // every arc target met, once each
    std::size_t upTo;                    // noted arcs the walk has taken in
  };
  // Every inserted arc in order, each linked to the one inserted from the
  // same operation before it; per operation by id the newest (-1 for none).
  struct NotedArc {
    opnode* to;
    int_t older;
  };

  static bool since(int_t k, std::size_t at) { return k >= 0 && static_cast<std::size_t>(k) >= at; }
  static bool any_closes(const Walk& walk, std::size_t from, const opnode* after);
  void bring_up_to_date(Walk& walk);
  void mark(const Walk& walk);
  void go_on_from(Walk& walk, int_t id);
  void walk_from(Walk& walk, opnode* start);
  void note_target(std::vector<const opnode*>& targets, const opnode* target);

  std::vector<Walk> walks_;
  std::vector<int_t> walkFrom_;  // per operation by id, its kept walk or -1
  std::vector<NotedArc> log_;
  std::vector<int_t> newestFrom_;
  NodeMarks marks_;        // the operations the walk at hand has entered
  NodeMarks metMarks_;     // the targets it has met
  int_t markedWalk_ = -1;  // the kept walk the marks hold, if any
  // The walk of the question at hand, kept when it fails.
  std::vector<int_t> entered_;
  std::vector<const opnode*> targets_;
};
