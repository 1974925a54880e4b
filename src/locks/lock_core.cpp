#include "locks/lock_core.h"

#include <algorithm>

#include "locks/lock_graph.h"
#include "locks/lock_order.h"

namespace {

// Beyond this many operations the repeated decisions would take too long.
constexpr int_t kCoreOperations = 4'096;

// What can be left out at once: a session's acquire and release together,
// any other operation alone. A store goes with the loads that read it.
std::vector<std::vector<int_t>> units_of(const LockGraph& g) {
  std::vector<int_t> unitOf(at(g.realCount), -1);
  std::vector<std::vector<int_t>> units;
  for (const auto& sessions : g.sessionsOfLock) {
    for (const LockSession& s : sessions) {
      unitOf[at(s.acquire)] = unitOf[at(s.release)] = static_cast<int_t>(units.size());
      units.push_back({s.acquire, s.release});
    }
  }
  for (int_t n = 0; n < g.realCount; ++n) {
    if (unitOf[at(n)] == -1) units.push_back({n});
  }
  return units;
}

class CoreFinder {
 public:
  CoreFinder(MCM_t model, const LockGraph& full)
      : model_(model), full_(full), kept_(at(full.realCount), 1), units_(units_of(full)) {}

  bool violates(const std::vector<char>& kept) const {
    LockGraph g = build_lock_graph(model_, true, kept);
    return decide_lock_graph(g).verdict == LockVerdict::Violation;
  }
  void shrink();
  const std::vector<char>& kept() const { return kept_; }

 private:
  std::vector<char> without(const std::vector<int_t>& units) const;
  bool try_leaving_out(std::vector<int_t>& live, std::size_t first, std::size_t count);

  MCM_t model_;
  const LockGraph& full_;
  std::vector<char> kept_;
  std::vector<std::vector<int_t>> units_;
};

// Leaves out operation n and every load of a store left out; an RMW's own
// loads go with it.
void leave_out(const LockGraph& g, int_t n, std::vector<char>& kept) {
  kept[at(n)] = 0;
  for (int_t r : g.readers[at(n)]) {
    if (kept[at(r)] != 0) leave_out(g, r, kept);
  }
}

// The kept operations less `units`, and less every load of a store left out.
std::vector<char> CoreFinder::without(const std::vector<int_t>& units) const {
  std::vector<char> kept = kept_;
  for (int_t u : units) {
    for (int_t n : units_[at(u)]) leave_out(full_, n, kept);
  }
  return kept;
}

bool CoreFinder::try_leaving_out(std::vector<int_t>& live, std::size_t first, std::size_t count) {
  const std::vector<int_t> chunk(live.begin() + static_cast<std::ptrdiff_t>(first),
                                 live.begin() + static_cast<std::ptrdiff_t>(first + count));
  std::vector<char> kept = without(chunk);
  if (!violates(kept)) return false;
  kept_ = std::move(kept);
  std::erase_if(live, [&](int_t u) {
    const auto& nodes = units_[at(u)];
    return std::none_of(nodes.begin(), nodes.end(), [&](int_t n) { return kept_[at(n)] != 0; });
  });
  return true;
}

// Leaves out chunks of units, halving the chunk down to one unit, as long as
// what is left still admits no order. The last round tries every unit alone,
// so no single kept unit can go.
void CoreFinder::shrink() {
  std::vector<int_t> live(units_.size());
  for (std::size_t u = 0; u < live.size(); ++u) live[u] = static_cast<int_t>(u);
  for (std::size_t chunk = std::max<std::size_t>(1, live.size() / 2);; chunk /= 2) {
    for (std::size_t first = 0; first < live.size();) {
      if (!try_leaving_out(live, first, std::min(chunk, live.size() - first))) first += chunk;
    }
    if (chunk == 1) return;
  }
}

// The first kept operation of processor q at or after sequence number s.
const opnode* first_kept_from(const std::vector<char>& kept, int_t q, int_t s) {
  const auto& operations = state->graph[at(q)];
  for (auto i = at(s); i < operations.size(); ++i) {
    if (kept[at(operations[i].id)] != 0) return &operations[i];
  }
  return nullptr;
}

// Whether `to` can be reached from `from` along the arcs still drawn, other
// than arc `skipped`.
bool reached_otherwise(const std::vector<CoreArc>& arcs, const std::vector<char>& drawn,
                       std::size_t skipped) {
  std::vector<const opnode*> frontier{arcs[skipped].from};
  std::vector<const opnode*> seen{arcs[skipped].from};
  while (!frontier.empty()) {
    const opnode* x = frontier.back();
    frontier.pop_back();
    for (std::size_t i = 0; i < arcs.size(); ++i) {
      if (i == skipped || drawn[i] == 0 || arcs[i].from != x) continue;
      if (arcs[i].to == arcs[skipped].to) return true;
      if (std::find(seen.begin(), seen.end(), arcs[i].to) != seen.end()) continue;
      seen.push_back(arcs[i].to);
      frontier.push_back(arcs[i].to);
    }
  }
  return false;
}

// Leaves out each arc that a path of the others implies, one at a time, so
// that what reaches what stays as it was; small cores only, as this takes
// time in the square of the arcs.
void drop_implied_arcs(std::vector<CoreArc>& arcs) {
  constexpr std::size_t kMostArcs = 2'000;
  if (arcs.size() > kMostArcs) return;
  std::vector<char> drawn(arcs.size(), 1);
  for (std::size_t i = 0; i < arcs.size(); ++i)
    drawn[i] = reached_otherwise(arcs, drawn, i) ? 0 : 1;
  std::size_t next = 0;
  for (std::size_t i = 0; i < arcs.size(); ++i) {
    if (drawn[i] != 0) arcs[next++] = arcs[i];
  }
  arcs.resize(next);
}

// An arc into an issue point becomes a time link to the first kept operation
// its processor issued from there on.
FoundCore core_of(const LockGraph& g) {
  FoundCore core;
  for (const opnode* x : g.operations) {
    if (g.keeps(x->id)) core.nodes.push_back(x);
  }
  for (const opnode* x : core.nodes) {
    for (const LockArc& arc : g.out[at(x->id)]) {
      if (!g.is_issue_point(arc.to)) {
        core.arcs.push_back({x, g.operations[at(arc.to)], arc.tag});
        continue;
      }
      const opnode* issued = g.operations[at(g.operation_of(arc.to))];
      if (const opnode* to = first_kept_from(g.kept, issued->proc_num, issued->seq_num))
        core.arcs.push_back({x, to, TO});
    }
  }
  drop_implied_arcs(core.arcs);
  return core;
}

}  // namespace

std::optional<FoundCore> find_core(MCM_t model) {
  if (state->nodeCount > kCoreOperations) return std::nullopt;
  const LockGraph full = build_lock_graph(model);
  CoreFinder finder(model, full);
  if (!finder.violates(finder.kept())) return std::nullopt;
  finder.shrink();
  return core_of(build_lock_graph(model, true, finder.kept()));
}
