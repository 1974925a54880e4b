#include "derive/window_walks.h"

#include "bounds/windows.h"

namespace {

bool closes(const opnode* target, const opnode* after) {
  return target == after || check_TO(target, after) != 0;
}

}  // namespace

WindowWalks::WindowWalks()
    : walkFrom_(static_cast<std::size_t>(state->nodeCount) + 1, -1),
      newestFrom_(static_cast<std::size_t>(state->nodeCount) + 1, -1) {}

// A new walk stops at the first target that closes, as check_go's does.
// When none does, it has entered every operation it can and met every arc
// target, so it is kept for the questions from `before` that follow.
WindowWalks::Answer WindowWalks::ask(opnode* before, const opnode* after) {
  const int_t known = walkFrom_[before->id];
  if (known >= 0) {
    std::size_t seen = 0;
    const bool reached = reaches_now(known, after, seen);
    return {reached, known, seen};
  }
  entered_.clear();
  targets_.clear();
  marks_.clear();
  metMarks_.clear();
  markedWalk_ = -1;
  const auto met = [this, after](const opnode* n) {
    note_target(targets_, n);
    return closes(n, after);
  };
  const auto entered = [this](const opnode* n) { entered_.push_back(n->id); };
  if (walk_window(before, before, marks_, met, entered)) return {true, -1, 0};
  walkFrom_[before->id] = static_cast<int_t>(walks_.size());
  markedWalk_ = walkFrom_[before->id];
  walks_.push_back({before, entered_, targets_, log_.size()});
  return {false, walkFrom_[before->id], targets_.size()};
}

// The targets before `seen` did not close for `after` when it last asked,
// and closing depends on time alone, which does not change.
bool WindowWalks::reaches_now(int_t walk, const opnode* after, std::size_t& seen) {
  Walk& kept = walks_[static_cast<std::size_t>(walk)];
  bring_up_to_date(kept);
  const bool reached = any_closes(kept, seen, after);
  seen = kept.targets.size();
  return reached;
}

bool WindowWalks::any_closes(const Walk& walk, std::size_t from, const opnode* after) {
  for (std::size_t k = from; k < walk.targets.size(); ++k) {
    if (closes(walk.targets[k], after)) return true;
  }
  return false;
}

// Whether a target closes depends on the target alone, so each is kept once.
void WindowWalks::note_target(std::vector<const opnode*>& targets, const opnode* target) {
  if (metMarks_.test(target)) return;
  metMarks_.set(target);
  targets.push_back(target);
}

void WindowWalks::inserted(const opnode* from, opnode* to) {
  log_.push_back({to, newestFrom_[from->id]});
  newestFrom_[from->id] = static_cast<int_t>(log_.size()) - 1;
}

// Only the arcs noted since from the operations the walk holds can change
// it: each one's target is met, and one into an operation of the start's
// windows that the walk has not entered is walked from, past everything
// entered already. That is where a new walk from the start would go too.
void WindowWalks::bring_up_to_date(Walk& walk) {
  if (walk.upTo == log_.size()) return;
  const std::size_t held = walk.entered.size();
  for (std::size_t k = 0; k <= held; ++k) {
    const int_t id = k == held ? walk.start->id : walk.entered[k];
    if (!since(newestFrom_[id], walk.upTo)) continue;
    mark(walk);
    go_on_from(walk, id);
  }
  walk.upTo = log_.size();
}

// Sets the marks to the walk's operations and targets, unless they hold
// them already: a walk asked about again and again in a row keeps them.
void WindowWalks::mark(const Walk& walk) {
  const int_t index = walkFrom_[walk.start->id];
  if (markedWalk_ == index) return;
  markedWalk_ = index;
  marks_.clear();
  marks_.set(walk.start);
  for (const int_t id : walk.entered) marks_.set_id(id);
  metMarks_.clear();
  for (const opnode* target : walk.targets) metMarks_.set(target);
}

void WindowWalks::go_on_from(Walk& walk, int_t id) {
  for (int_t k = newestFrom_[id]; since(k, walk.upTo); k = log_[k].older) {
    opnode* to = log_[k].to;
    note_target(walk.targets, to);
    if (marks_.test(to) || op_in_pw(walk.start, to) == 0) continue;
    walk.entered.push_back(to->id);
    walk_from(walk, to);
  }
}

void WindowWalks::walk_from(Walk& walk, opnode* start) {
  const auto met = [this, &walk](const opnode* n) {
    note_target(walk.targets, n);
    return false;
  };
  const auto entered = [&walk](const opnode* n) { walk.entered.push_back(n->id); };
  walk_window(walk.start, start, marks_, met, entered);
}
