#include "graph/digraph.h"

#include <algorithm>
#include <utility>

void Digraph::finish(int_t size) {
  size_ = size;
  first_.assign(static_cast<std::size_t>(size_) + 1, 0);
  for (const Run& run : runs_) first_[run.from + 1] += run.length;
  for (int_t id = 0; id < size_; ++id) first_[id + 1] += first_[id];
  targets_.resize(static_cast<std::size_t>(first_.back()));
  std::vector<int_t> fill(first_.begin(), first_.end() - 1);
  std::size_t block = 0;
  std::size_t at = 0;
  for (const Run& run : runs_) {
    for (int_t k = 0; k < run.length; ++k) {
      targets_[fill[run.from]++] = pending_[block][at++];
      if (at < kBlockArcs) continue;
      std::vector<int_t>().swap(pending_[block++]);
      at = 0;
    }
  }
  pending_.clear();
  std::vector<Run>().swap(runs_);
}

namespace {

// Tarjan's algorithm with an explicit stack of (node, next arc) frames.
class RowTarjan {
 public:
  explicit RowTarjan(const Digraph& graph)
      : graph_(graph),
        index_(graph.size(), -1),
        low_(graph.size(), 0),
        onStack_(graph.size(), false),
        selfLoop_(graph.size(), false) {
    result_.component.assign(graph.size(), -1);
    result_.firstMember.push_back(0);
  }

  StrongComponents run() {
    for (int_t root = 0; root < graph_.size(); ++root) {
      if (index_[root] < 0) visit(root);
    }
    return std::move(result_);
  }

 private:
  struct Frame {
    int_t node;
    const int_t* next;
  };

  void visit(int_t root) {
    enter(root);
    while (!frames_.empty()) {
      Frame& frame = frames_.back();
      if (frame.next == graph_.end(frame.node)) {
        leave(frame.node);
        continue;
      }
      const int_t from = frame.node;
      const int_t to = *frame.next++;
      if (to == from) selfLoop_[from] = true;
      if (index_[to] < 0) {
        enter(to);
      } else if (onStack_[to]) {
        low_[from] = std::min(low_[from], index_[to]);
      }
    }
  }

  void enter(int_t u) {
    index_[u] = low_[u] = counter_++;
    pending_.push_back(u);
    onStack_[u] = true;
    frames_.push_back({u, graph_.begin(u)});
  }

  void leave(int_t u) {
    frames_.pop_back();
    if (!frames_.empty()) {
      const int_t parent = frames_.back().node;
      low_[parent] = std::min(low_[parent], low_[u]);
    }
    if (low_[u] == index_[u]) close_component(u);
  }

  void close_component(int_t root) {
    const auto number = static_cast<int_t>(result_.cyclic.size());
    bool looped = false;
    int_t size = 0;
    int_t id = -1;
    do {
      id = pending_.back();
      pending_.pop_back();
      onStack_[id] = false;
      result_.component[id] = number;
      result_.members.push_back(id);
      looped = looped || selfLoop_[id];
      ++size;
    } while (id != root);
    result_.cyclic.push_back(size > 1 || looped);
    result_.firstMember.push_back(static_cast<int_t>(result_.members.size()));
  }

  const Digraph& graph_;
  std::vector<int_t> index_;
  std::vector<int_t> low_;
  std::vector<bool> onStack_;
  std::vector<int_t> pending_;
  std::vector<Frame> frames_;
  std::vector<bool> selfLoop_;
  int_t counter_ = 0;
  StrongComponents result_;
};

}  // namespace

StrongComponents Digraph::components() const {
  return RowTarjan(*this).run();
}

void add_stored_arcs(Digraph& graph, const std::vector<opnode*>& nodes) {
  for (const opnode* node : nodes) {
    for (const oparc* arc = node->pointTo; arc != nullptr; arc = arc->nxtarc) {
      graph.add(node->id, arc->nptr->id);
    }
  }
}
