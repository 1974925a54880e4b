#include "graph/strong_components.h"

#include <algorithm>
#include <utility>

namespace {

// Tarjan's algorithm with an explicit stack of (node, next arc) frames.
class TarjanWalk {
 public:
  explicit TarjanWalk(std::size_t size) : index_(size, -1), low_(size, 0), onStack_(size, false) {
    result_.component.assign(size, -1);
    result_.firstMember.push_back(0);
  }

  void visit(opnode* root) {
    if (index_[root->id] >= 0) return;
    enter(root);
    while (!frames_.empty()) {
      Frame& frame = frames_.back();
      if (frame.next == nullptr) {
        leave(frame.node);
        continue;
      }
      const oparc* arc = frame.next;
      frame.next = arc->nxtarc;
      follow(frame.node, arc->nptr);
    }
  }

  // Components with a single node are cyclic when the node has an arc to
  // itself.
  StrongComponents take() {
    for (int_t id : selfLoops_) result_.cyclic[result_.component[id]] = true;
    return std::move(result_);
  }

 private:
  struct Frame {
    opnode* node;
    const oparc* next;
  };

  void enter(opnode* u) {
    index_[u->id] = low_[u->id] = counter_++;
    pending_.push_back(u->id);
    onStack_[u->id] = true;
    frames_.push_back({u, u->pointTo});
  }

  void follow(const opnode* u, opnode* w) {
    if (w == u) selfLoops_.push_back(u->id);
    if (index_[w->id] < 0) {
      enter(w);
    } else if (onStack_[w->id]) {
      low_[u->id] = std::min(low_[u->id], index_[w->id]);
    }
  }

  void leave(const opnode* u) {
    frames_.pop_back();
    if (!frames_.empty()) {
      const int_t parent = frames_.back().node->id;
      low_[parent] = std::min(low_[parent], low_[u->id]);
    }
    if (low_[u->id] == index_[u->id]) close_component(u->id);
  }

  void close_component(int_t root) {
    const int_t number = static_cast<int_t>(result_.cyclic.size());
    int_t size = 0;
    int_t id = -1;
    do {
      id = pending_.back();
      pending_.pop_back();
      onStack_[id] = false;
      result_.component[id] = number;
      result_.members.push_back(id);
      ++size;
    } while (id != root);
    result_.cyclic.push_back(size > 1);
    result_.firstMember.push_back(static_cast<int_t>(result_.members.size()));
  }

  std::vector<int_t> index_;
  std::vector<int_t> low_;
  std::vector<bool> onStack_;
  std::vector<int_t> pending_;
  std::vector<Frame> frames_;
  std::vector<int_t> selfLoops_;
  int_t counter_ = 0;
  StrongComponents result_;
};

}  // namespace

std::vector<opnode*> nodes_by_id() {
  std::vector<opnode*> nodes(static_cast<std::size_t>(state.nodeCount) + 1, &state.sentinel);
  for (auto& operations : state.graph) {
    for (opnode& node : operations) nodes[node.id] = &node;
  }
  return nodes;
}

StrongComponents strong_components() {
  const std::vector<opnode*> nodes = nodes_by_id();
  TarjanWalk walk(nodes.size());
  for (opnode* node : nodes) walk.visit(node);
  return walk.take();
}
