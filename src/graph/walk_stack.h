// The explicit stack of the depth-first walks over arcs.
//
// A walk may go as deep as there are operations, so the walks keep their path
// here instead of on the call stack. Each frame is one node on the current
// path, the next of its arcs still to examine, and the arc that led into it;
// popping a frame is the recursive step "return 0", after which the node below
// goes on with its next arc, so visiting order is that of the recursion.
#pragma once

#include <vector>

#include "graph/marks.h"
#include "qirn.h"

struct WalkFrame {
  opnode* node;
  oparc* next;
  const oparc* in;
};

class WalkStack {
 public:
  // Starts a new walk at `start`; frames of an earlier walk are dropped but
  // their storage is kept for reuse.
  void reset(opnode* start) {
    frames_.clear();
    push(start, nullptr);
  }
  void push(opnode* node, const oparc* in) { frames_.push_back({node, node->pointTo, in}); }
  void pop() { frames_.pop_back(); }
  bool empty() const { return frames_.empty(); }
  WalkFrame& top() { return frames_.back(); }
  // Frames from the start (index 0) to the top.
  const std::vector<WalkFrame>& frames() const { return frames_; }

 private:
  std::vector<WalkFrame> frames_;
};

// Depth-first walk from v over the arcs in list order, marking every node it
// enters. For each arc into w, in this order: `closes(w)` ends the walk with
// that arc as the result; `stops(w)` ends the examination of the node the arc
// leaves (its later arcs are not looked at); otherwise w is entered when it is
// unmarked and `enters(w)` allows it. Returns nullptr when nothing closes; on
// success the stack still holds the path from v to the arc's source.
template <typename Closes, typename Stops, typename Enters>
const oparc* walk_arcs(WalkStack& stack, opnode* v, NodeMarks& visited, Closes closes, Stops stops,
                       Enters enters) {
  visited.set(v);
  stack.reset(v);
  while (!stack.empty()) {
    WalkFrame& frame = stack.top();
    const oparc* arc = frame.next;
    if (arc == nullptr) {
      stack.pop();
      continue;
    }
    frame.next = arc->nxtarc;
    opnode* w = arc->nptr;
    if (closes(w)) return arc;
    if (stops(w)) {
      stack.pop();
    } else if (!visited.test(w) && enters(w)) {
      visited.set(w);
      stack.push(w, arc);
    }
  }
  return nullptr;
}
