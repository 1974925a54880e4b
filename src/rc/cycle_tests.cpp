#include "rc/cycle_tests.h"

#include <algorithm>
#include <vector>

#include "graph/cycles.h"
#include "graph/marks.h"

namespace {

// Predecessor lists of every node, rebuilt from the arc lists on demand.
class ReverseArcs {
 public:
  void build() {
    const std::size_t nodes = static_cast<std::size_t>(state->nodeCount) + 1;
    start_.assign(nodes + 1, 0);
    for_each_arc([this](opnode*, const opnode* w) { ++start_[w->id + 1]; });
    for (std::size_t i = 0; i < nodes; ++i) start_[i + 1] += start_[i];
    sources_.resize(start_[nodes]);
    fill_.assign(start_.begin(), start_.end() - 1);
    for_each_arc([this](opnode* v, const opnode* w) { sources_[fill_[w->id]++] = v; });
  }

  template <typename Visit>
  void for_each_source(const opnode* w, Visit visit) const {
    for (std::size_t i = start_[w->id]; i < start_[w->id + 1]; ++i) visit(sources_[i]);
  }

 private:
  template <typename Visit>
  static void for_each_arc(Visit visit) {
    for (auto& operations : state->graph) {
      for (opnode& node : operations) {
        for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc) {
          visit(&node, arc->nptr);
        }
      }
    }
  }

  std::vector<std::size_t> start_;
  std::vector<std::size_t> fill_;
  std::vector<opnode*> sources_;
};

// The nodes of a set, per processor in ascending sequence number, with the
// running minimum of their window upper ends, so that "some node of the set is
// timed before x" costs one binary search per processor.
class TimedBeforeIndex {
 public:
  void build(const std::vector<opnode*>& nodes) {
    const std::size_t processors = state->graph.size();
    includesSentinel_ = false;
    seqs_.resize(processors);
    minUpper_.resize(processors);
    byProcessor_.resize(processors);
    for (auto& group : byProcessor_) group.clear();
    for (opnode* w : nodes) {
      if (w == &state->sentinel)
        includesSentinel_ = true;
      else
        byProcessor_[w->proc_num].push_back(w);
    }
    for (std::size_t q = 0; q < processors; ++q) build_processor(q);
  }

  // Whether some w of the set is timed before x, by the comparison check_TO
  // makes: w's sequence number below x.lpw[w's processor] and w.upw[x's
  // processor] below x's sequence number.
  bool any_timed_before(const opnode* x) const {
    if (includesSentinel_) return true;
    const std::size_t processors = seqs_.size();
    for (std::size_t q = 0; q < processors; ++q) {
      const auto& seqs = seqs_[q];
      const auto below = std::lower_bound(seqs.begin(), seqs.end(), x->lpw[q]) - seqs.begin();
      if (below == 0) continue;
      if (minUpper_[q][(below - 1) * processors + x->proc_num] < x->seq_num) return true;
    }
    return false;
  }

 private:
  void build_processor(std::size_t q) {
    auto& group = byProcessor_[q];
    std::sort(group.begin(), group.end(),
              [](const opnode* a, const opnode* b) { return a->seq_num < b->seq_num; });
    const std::size_t processors = seqs_.size();
    seqs_[q].clear();
    minUpper_[q].resize(group.size() * processors);
    for (std::size_t k = 0; k < group.size(); ++k) {
      seqs_[q].push_back(group[k]->seq_num);
      for (std::size_t t = 0; t < processors; ++t) {
        const int_t upper = group[k]->upw[t];
        minUpper_[q][k * processors + t] =
            k == 0 ? upper : std::min(upper, minUpper_[q][(k - 1) * processors + t]);
      }
    }
  }

  bool includesSentinel_ = false;
  std::vector<std::vector<opnode*>> byProcessor_;
  std::vector<std::vector<int_t>> seqs_;
  std::vector<std::vector<int_t>> minUpper_;
};

// Storage reused by every call, so that a test allocates nothing once the
// buffers have grown to the graph.
struct Scratch {
  NodeMarks walk;
  NodeMarks descendants;
  NodeMarks ancestors;
  std::vector<opnode*> descendantList;
  std::vector<opnode*> ancestorList;
  ReverseArcs reverse;
  TimedBeforeIndex timedBefore;
};

Scratch& scratch() {
  thread_local Scratch storage;
  return storage;
}

// Collects `from` and every node that `next` leads to, transitively, into
// `found` (in the order met) and `marks`. Stops early, answering true, once
// `goal` is met.
template <typename Next>
bool collect(opnode* from, const opnode* goal, NodeMarks& marks, std::vector<opnode*>& found,
             Next next) {
  marks.clear();
  marks.set(from);
  found.assign(1, from);
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (found[i] == goal) return true;
    next(found[i], [&](opnode* w) {
      if (marks.test(w)) return;
      marks.set(w);
      found.push_back(w);
    });
  }
  return false;
}

constexpr auto successors = [](const opnode* v, auto add) {
  for (const oparc* arc = v->pointTo; arc != nullptr; arc = arc->nxtarc) add(arc->nptr);
};

// Without time bounds a walk closes a cycle exactly when the graph has one,
// and every new cycle runs through the new arc: it exists when the acquire
// reaches the release.
int_t cycle_after_arc_baseline(opnode* release, opnode* acquire) {
  Scratch& s = scratch();
  return collect(acquire, release, s.descendants, s.descendantList, successors) ? 1 : 0;
}

// With time bounds a walk from x closes when it meets x or an operation timed
// before x, and never enters an operation timed after x.
// What such a walk finds depends only on the nodes it can enter, so after the
// arc release -> acquire only a walk that enters the release can change its
// answer, and it can only close at the acquire or beyond: x must reach the
// release, and x must be the acquire or a node the acquire reaches, or be
// timed after one of them. Those walks are repeated in full.
int_t cycle_after_arc_optimize(opnode* release, opnode* acquire) {
  Scratch& s = scratch();
  collect(acquire, nullptr, s.descendants, s.descendantList, successors);
  s.timedBefore.build(s.descendantList);
  s.reverse.build();
  const auto predecessors = [&s](const opnode* w, auto add) { s.reverse.for_each_source(w, add); };
  collect(release, nullptr, s.ancestors, s.ancestorList, predecessors);
  for (opnode* x : s.ancestorList) {
    if (!s.descendants.test(x) && !s.timedBefore.any_timed_before(x)) continue;
    s.walk.clear();
    if (dfs_check(x, x, s.walk) != 0) return 1;
  }
  return 0;
}

}  // namespace

int_t graph_has_cycle() {
  NodeMarks& visited = scratch().walk;
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      visited.clear();
      if (dfs_check(&node, &node, visited) != 0) return 1;
    }
  }
  return 0;
}

int_t cycle_after_arc(opnode* release, opnode* acquire) {
  if (state->isBase == 1) return cycle_after_arc_baseline(release, acquire);
  return cycle_after_arc_optimize(release, acquire);
}
