#include "locks/lock_order.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <numeric>

#include "locks/lock_graph.h"
#include "locks/reach_matrix.h"
#include "locks/sequence_search.h"

namespace {

// Beyond this many nodes the reachability matrix would take too much memory;
// beyond the second the search's copies of it would cost too much time.
constexpr int_t kMatrixNodes = 40'000;
constexpr int_t kSearchNodes = 4'096;
constexpr int_t kChoiceBudget = 20'000;
// Beyond this many nodes even the arcs are not built; the sequence search may
// run each node this many times over, plus a fixed allowance for small graphs.
constexpr std::int64_t kSequenceNodes = 4'000'000;
constexpr std::int64_t kSequenceRunsPerNode = 40;
constexpr std::int64_t kSequenceAllowance = 200'000;
// The search ranked by program order gets two and a half times that: on
// legal runs with many locks it runs each node many times while it tries
// which sessions close at once (16 x 625 with 16 locks needs about 60).
constexpr std::int64_t kOrderedRunsPerNode = 100;
// Rounds that take the operations of a cycle out of the program-order chains
// of step 5, and those of them that run the inference.
constexpr int_t kUnchainRounds = 64;
constexpr int_t kInferenceRounds = 4;

struct NewArc {
  int_t from;
  int_t to;
  ORDER_t tag;
};

struct OpenPair {
  bool sessions;
  int_t group;  // lock or address column
  int_t first;  // indices in the group
  int_t second;
};

class BudgetSpent {};

// Whether the inference keeps the pass that closes a cycle, or undoes it.
enum class ClosingPass { Keep, TakeBack };

// A cycle given as a walk forward along arcs, as qirn prints cycles: each
// node after the arc that leaves it, issue points folded into one time link.
FoundCycle printed_cycle(const LockGraph& g, const std::vector<int_t>& walk,
                         const std::vector<ORDER_t>& tags) {
  const auto start = static_cast<std::size_t>(
      std::find_if(walk.begin(), walk.end(), [&](int_t n) { return !g.is_issue_point(n); }) -
      walk.begin());
  const std::size_t length = walk.size();
  std::vector<int_t> nodes{walk[start]};
  std::vector<ORDER_t> forward;
  for (std::size_t step = 1; step <= length; ++step) {
    const std::size_t i = (start + step) % length;
    if (g.is_issue_point(walk[i])) continue;
    const std::size_t before = (i + length - 1) % length;
    forward.push_back(g.is_issue_point(walk[before]) ? TO : tags[before]);
    nodes.push_back(walk[i]);
  }
  FoundCycle cycle;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
    cycle.nodes.push_back(g.operations[at(*it)]);
  cycle.tags.assign(forward.rbegin(), forward.rend());
  return cycle;
}

std::vector<int_t> topological_order(const LockGraph& g) {
  std::vector<int_t> indegree(at(g.nodeCount), 0);
  for (const auto& arcs : g.out) {
    for (const LockArc& arc : arcs) ++indegree[at(arc.to)];
  }
  std::vector<int_t> order;
  for (int_t n = 0; n < g.nodeCount; ++n) {
    if (indegree[at(n)] == 0) order.push_back(n);
  }
  for (std::size_t i = 0; i < order.size(); ++i) {
    for (const LockArc& arc : g.out[at(order[i])]) {
      if (--indegree[at(arc.to)] == 0) order.push_back(arc.to);
    }
  }
  return order;
}

// The nodes left out of a topological order lie on cycles or behind them, so
// each has a predecessor among them; walking back from one must come round.
FoundCycle cycle_left_out(const LockGraph& g, const std::vector<int_t>& order) {
  std::vector<bool> sorted(at(g.nodeCount), false);
  for (int_t n : order) sorted[at(n)] = true;
  std::vector<std::pair<int_t, ORDER_t>> predecessor(at(g.nodeCount), {-1, TO});
  for (int_t n = 0; n < g.nodeCount; ++n) {
    if (sorted[at(n)]) continue;
    for (const LockArc& arc : g.out[at(n)]) predecessor[at(arc.to)] = {n, arc.tag};
  }
  int_t n = 0;
  while (sorted[at(n)]) ++n;
  std::vector<int_t> seenAt(at(g.nodeCount), -1);
  std::vector<int_t> back;
  std::vector<ORDER_t> tags;  // of the arc from the next node back into this one
  while (seenAt[at(n)] == -1) {
    seenAt[at(n)] = static_cast<int_t>(back.size());
    back.push_back(n);
    tags.push_back(predecessor[at(n)].second);
    n = predecessor[at(n)].first;
  }
  back.erase(back.begin(), back.begin() + seenAt[at(n)]);
  tags.erase(tags.begin(), tags.begin() + seenAt[at(n)]);
  std::vector<int_t> walk(back.rbegin(), back.rend());
  std::vector<ORDER_t> forward(tags.rbegin() + 1, tags.rend());
  forward.push_back(tags.back());
  return printed_cycle(g, walk, forward);
}

// Nodes ordered by the longest path that leaves them, longest first: a
// topological order that puts what much of the run waits for early.
std::vector<int_t> height_rank(const LockGraph& g, const std::vector<int_t>& order) {
  std::vector<int_t> height(at(g.nodeCount), 0);
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    for (const LockArc& arc : g.out[at(*it)])
      height[at(*it)] = std::max(height[at(*it)], height[at(arc.to)] + 1);
  }
  std::vector<int_t> byHeight(order);
  std::stable_sort(byHeight.begin(), byHeight.end(),
                   [&](int_t a, int_t b) { return height[at(a)] > height[at(b)]; });
  std::vector<int_t> rank(at(g.nodeCount));
  for (std::size_t i = 0; i < byHeight.size(); ++i) rank[at(byHeight[i])] = static_cast<int_t>(i);
  return rank;
}

SequenceOutcome find_sequence_by_height(const LockGraph& g, const std::vector<int_t>& order) {
  const std::int64_t budget = kSequenceRunsPerNode * g.nodeCount + kSequenceAllowance;
  return find_sequence(g, height_rank(g, order), budget);
}

// Which session of one lock the inference orders before which, worked out
// from the matrix one row at a time. The inference asks of every pair of
// sessions whether either's acquire reaches the other's release; asked of the
// matrix pair by pair, half of those questions read a different row each, a
// cache miss apiece.
class SessionOrders {
 public:
  SessionOrders(const ReachMatrix& reach, const std::vector<LockSession>& sessions)
      : words_((sessions.size() + 63) / 64),
        forced_(words_ * sessions.size(), 0),
        ordered_(words_ * sessions.size(), 0) {
    for (std::size_t from = 0; from < sessions.size(); ++from) {
      for (std::size_t to = 0; to < sessions.size(); ++to) {
        const std::uint64_t bit = std::uint64_t{1} << (to % 64);
        if (reach.reaches(sessions[from].release, sessions[to].acquire))
          ordered_[from * words_ + to / 64] |= bit;
        else if (reach.reaches(sessions[from].acquire, sessions[to].release))
          forced_[from * words_ + to / 64] |= bit;
      }
    }
  }
  // Whether session `to` cannot come first, since `from`'s acquire reaches
  // `to`'s release, while `from`'s release does not yet reach `to`'s
  // acquire: the inference orders `from` before `to`.
  bool forces(std::size_t from, std::size_t to) const { return test(forced_, from, to); }
  // Whether `from`'s release already reaches `to`'s acquire.
  bool orders(std::size_t from, std::size_t to) const { return test(ordered_, from, to); }

 private:
  bool test(const std::vector<std::uint64_t>& bits, std::size_t from, std::size_t to) const {
    return (bits[from * words_ + to / 64] >> (to % 64) & 1U) != 0;
  }

  std::size_t words_;
  std::vector<std::uint64_t> forced_;
  std::vector<std::uint64_t> ordered_;
};

// Pairs i < j of the sessions of one lock, or of the stores of one address,
// one bit each, so that a lock with n sessions costs n * n bits however many
// of its pairs are open; visited in the order of i, then of j.
class PairSet {
 public:
  explicit PairSet(std::size_t items)
      : items_(items), words_((items + 63) / 64), bits_(words_ * items, 0) {}
  void insert(std::size_t i, std::size_t j) { bits_[i * words_ + j / 64] |= bit(j); }
  // Asks `keep(i, j)` of every pair in order, and drops those it denies.
  template <class Keep>
  void filter(Keep keep) {
    for (std::size_t i = 0; i < items_; ++i) {
      for (std::size_t w = 0; w < words_; ++w) {
        std::uint64_t& word = bits_[i * words_ + w];
        for (std::uint64_t rest = word; rest != 0; rest &= rest - 1) {
          const std::size_t j = w * 64 + static_cast<std::size_t>(std::countr_zero(rest));
          if (!keep(i, j)) word &= ~bit(j);
        }
      }
    }
  }

 private:
  static std::uint64_t bit(std::size_t j) { return std::uint64_t{1} << (j % 64); }

  std::size_t items_;
  std::size_t words_;
  std::vector<std::uint64_t> bits_;
};

// The decision on one graph. Each inference pass collects every order that
// the reachability of the pass's start forces, adds the arcs at once and
// computes the reachability afresh: one pass costs as much as one closure,
// however many orders it finds.
class LockOrder {
 public:
  explicit LockOrder(LockGraph& g) : g_(g), reach_(g.nodeCount) {}

  std::optional<FoundCycle> infer(ClosingPass closing = ClosingPass::Keep);
  bool complete_by_rank();
  bool search();
  // The open-pair search within its budget; false, with the graph as before
  // it, when the budget ran out.
  bool search_within_budget(LockDecision& decision);
  // Nodes ranked by how many nodes they reach, most first.
  std::vector<int_t> reach_rank() const { return ranks(); }
  SequenceOutcome find_sequence() const {
    return find_sequence_by_height(g_, topological_order(g_));
  }

 private:
  std::optional<FoundCycle> close();
  bool must_precede(int_t v, int_t w) const;
  void force_sessions(const LockSession& s, const LockSession& t, std::vector<NewArc>& arcs) const;
  void force_stores(int_t v, int_t w, std::vector<NewArc>& arcs) const;
  bool force_session_pair(const LockSession& s, const LockSession& t,
                          std::vector<NewArc>& arcs) const;
  bool force_store_pair(int_t v, int_t w, std::vector<NewArc>& arcs) const;
  std::vector<NewArc> forced_arcs();
  std::vector<NewArc> forced_arcs_of_open_pairs();
  void add(const std::vector<NewArc>& arcs);
  std::vector<int_t> ranks() const;
  std::vector<NewArc> session_orders(const std::vector<int_t>& rank) const;
  std::vector<NewArc> store_orders(const std::vector<int_t>& rank) const;
  std::optional<OpenPair> first_open_pair() const;
  std::vector<NewArc> choice_arcs(const OpenPair& pair, bool forward) const;
  void undo_arcs(std::size_t trail);

  LockGraph& g_;
  ReachMatrix reach_;
  std::vector<int_t> trail_;  // sources of the arcs added, newest last
  int_t choices_ = 0;
  // The pairs that the inference's passes since its first may still order,
  // in the order the first pass met them.
  std::vector<PairSet> openSessions_;  // by lock column
  std::vector<PairSet> openStores_;    // by address column
};

// The reachability of the current arcs, or the cycle that they close. Rows
// are built in reverse topological order, each from its successors nearest the
// front of the order first: those reach most of the others, which are then
// passed over without merging their rows.
std::optional<FoundCycle> LockOrder::close() {
  const std::vector<int_t> order = topological_order(g_);
  if (static_cast<int_t>(order.size()) != g_.nodeCount) return cycle_left_out(g_, order);
  std::vector<int_t> position(at(g_.nodeCount));
  for (std::size_t i = 0; i < order.size(); ++i) position[at(order[i])] = static_cast<int_t>(i);
  std::vector<int_t> successors;  // by position in the order
  for (auto it = order.rbegin(); it != order.rend(); ++it) {
    successors.clear();
    for (const LockArc& arc : g_.out[at(*it)]) successors.push_back(position[at(arc.to)]);
    std::sort(successors.begin(), successors.end());
    if (successors.empty()) {
      reach_.clear_row(*it);
      continue;
    }
    reach_.take_first_successor(*it, order[at(successors.front())]);
    for (std::size_t k = 1; k < successors.size(); ++k)
      reach_.take_successor(*it, order[at(successors[k])]);
  }
  return std::nullopt;
}

// Session s before session t: s's release precedes t's acquire.
void LockOrder::force_sessions(const LockSession& s, const LockSession& t,
                               std::vector<NewArc>& arcs) const {
  if (!reach_.reaches(s.release, t.acquire)) arcs.push_back({s.release, t.acquire, Syn});
}

// Whether store v must precede store w: w before v would close a cycle.
bool LockOrder::must_precede(int_t v, int_t w) const {
  if (reach_.reaches(v, w)) return true;
  const auto& loads = g_.readers[at(w)];
  return std::any_of(loads.begin(), loads.end(), [&](int_t r) { return reach_.reaches(v, r); });
}

// Store v before store w: v and every load that read v precede w. An RMW w
// that read v is one of those loads, and already follows v.
void LockOrder::force_stores(int_t v, int_t w, std::vector<NewArc>& arcs) const {
  if (!reach_.reaches(v, w)) arcs.push_back({v, w, IO});
  for (int_t r : g_.readers[at(v)]) {
    if (r != w && !reach_.reaches(r, w)) arcs.push_back({r, w, IO});
  }
}

// Sessions s and t of one lock, s first in the lock's list: the arcs of the
// orders the pass forces, t before s first. False once the pair is ordered
// either way: with the graph acyclic, as it is at every pass, neither
// session's acquire can then reach the other's release against that order, so
// the pair forces nothing at this pass or any later one of the inference,
// whose arcs only add to the reachability.
bool LockOrder::force_session_pair(const LockSession& s, const LockSession& t,
                                   std::vector<NewArc>& arcs) const {
  if (reach_.reaches(s.release, t.acquire) || reach_.reaches(t.release, s.acquire)) return false;
  if (reach_.reaches(t.acquire, s.release)) arcs.push_back({t.release, s.acquire, Syn});
  if (reach_.reaches(s.acquire, t.release)) arcs.push_back({s.release, t.acquire, Syn});
  return true;
}

// Stores v and w of one address, v first in the address's list: the arcs of
// the orders the pass forces, v before w first. False once the order of one
// way is forced and all its arcs are in the reachability: with the graph
// acyclic the other way is not forced then, and reachability only grows.
bool LockOrder::force_store_pair(int_t v, int_t w, std::vector<NewArc>& arcs) const {
  const std::size_t before = arcs.size();
  const bool forward = must_precede(v, w);
  const bool backward = must_precede(w, v);
  if (forward) force_stores(v, w, arcs);
  if (backward) force_stores(w, v, arcs);
  return arcs.size() != before || !(forward || backward);
}

// If session t's acquire reaches session s's release, s cannot come before
// t; if store w reaches store v or a load of v, v cannot come after... the
// mirror image. Each such pair is ordered the one way left. Every pair of
// every lock and address is asked, and those that may still force an order
// are kept for the passes after this one.
std::vector<NewArc> LockOrder::forced_arcs() {
  std::vector<NewArc> arcs;
  openSessions_.clear();
  openStores_.clear();
  for (const auto& sessions : g_.sessionsOfLock) {
    const SessionOrders between(reach_, sessions);
    PairSet& open = openSessions_.emplace_back(sessions.size());
    for (std::size_t i = 0; i < sessions.size(); ++i) {
      for (std::size_t j = i + 1; j < sessions.size(); ++j) {
        if (between.orders(i, j) || between.orders(j, i)) continue;
        if (between.forces(j, i)) arcs.push_back({sessions[j].release, sessions[i].acquire, Syn});
        if (between.forces(i, j)) arcs.push_back({sessions[i].release, sessions[j].acquire, Syn});
        open.insert(i, j);
      }
    }
  }
  for (const auto& stores : g_.storesOfAddress) {
    PairSet& open = openStores_.emplace_back(stores.size());
    for (std::size_t i = 0; i < stores.size(); ++i) {
      for (std::size_t j = i + 1; j < stores.size(); ++j) {
        if (force_store_pair(stores[i], stores[j], arcs)) open.insert(i, j);
      }
    }
  }
  return arcs;
}

// The pass of forced_arcs() asked only of the pairs that may still force an
// order. Those left out force nothing (see force_session_pair and
// force_store_pair), and the rest are asked in the same order, so the pass
// gives the same arcs in the same order.
std::vector<NewArc> LockOrder::forced_arcs_of_open_pairs() {
  std::vector<NewArc> arcs;
  for (std::size_t l = 0; l < openSessions_.size(); ++l) {
    const auto& sessions = g_.sessionsOfLock[l];
    openSessions_[l].filter([&](std::size_t i, std::size_t j) {
      return force_session_pair(sessions[i], sessions[j], arcs);
    });
  }
  for (std::size_t a = 0; a < openStores_.size(); ++a) {
    const auto& stores = g_.storesOfAddress[a];
    openStores_[a].filter(
        [&](std::size_t i, std::size_t j) { return force_store_pair(stores[i], stores[j], arcs); });
  }
  return arcs;
}

void LockOrder::add(const std::vector<NewArc>& arcs) {
  for (const NewArc& arc : arcs) {
    g_.arc(arc.from, arc.to, arc.tag);
    trail_.push_back(arc.from);
  }
}

// Inference passes until none adds an arc; the cycle that the arcs or a pass
// close, if any. With `TakeBack`, a pass that closes a cycle is undone, and
// the reachability stays that of the pass before.
std::optional<FoundCycle> LockOrder::infer(ClosingPass closing) {
  if (std::optional<FoundCycle> cycle = close()) return cycle;
  for (std::vector<NewArc> arcs = forced_arcs(); !arcs.empty();
       arcs = forced_arcs_of_open_pairs()) {
    const std::size_t mark = trail_.size();
    add(arcs);
    if (std::optional<FoundCycle> cycle = close()) {
      if (closing == ClosingPass::TakeBack) undo_arcs(mark);
      return cycle;
    }
  }
  return std::nullopt;
}

// A topological order of the current arcs: a node reaches more than any node
// it reaches.
std::vector<int_t> LockOrder::ranks() const {
  std::vector<int_t> reached(at(g_.nodeCount));
  for (int_t n = 0; n < g_.nodeCount; ++n) reached[at(n)] = reach_.reached_count(n);
  std::vector<int_t> byReach(at(g_.nodeCount));
  std::iota(byReach.begin(), byReach.end(), 0);
  std::stable_sort(byReach.begin(), byReach.end(),
                   [&](int_t a, int_t b) { return reached[at(a)] > reached[at(b)]; });
  std::vector<int_t> rank(at(g_.nodeCount));
  for (std::size_t i = 0; i < byReach.size(); ++i) rank[at(byReach[i])] = static_cast<int_t>(i);
  return rank;
}

std::vector<NewArc> LockOrder::session_orders(const std::vector<int_t>& rank) const {
  std::vector<NewArc> arcs;
  for (auto sessions : g_.sessionsOfLock) {
    std::sort(sessions.begin(), sessions.end(), [&](const LockSession& s, const LockSession& t) {
      return rank[at(s.acquire)] < rank[at(t.acquire)];
    });
    for (std::size_t i = 1; i < sessions.size(); ++i)
      force_sessions(sessions[i - 1], sessions[i], arcs);
  }
  return arcs;
}

std::vector<NewArc> LockOrder::store_orders(const std::vector<int_t>& rank) const {
  std::vector<NewArc> arcs;
  for (auto stores : g_.storesOfAddress) {
    std::sort(stores.begin(), stores.end(),
              [&](int_t v, int_t w) { return rank[at(v)] < rank[at(w)]; });
    for (std::size_t i = 1; i < stores.size(); ++i) force_stores(stores[i - 1], stores[i], arcs);
  }
  return arcs;
}

// Orders every pair the inference left open as one topological order has
// it: sessions and stores at once, or else the sessions first and, after the
// inference, the stores. Keeps the first result that closes no cycle.
bool LockOrder::complete_by_rank() {
  const std::size_t mark = trail_.size();
  const std::vector<int_t> rank = ranks();
  add(session_orders(rank));
  add(store_orders(rank));
  if (static_cast<int_t>(topological_order(g_).size()) == g_.nodeCount) return true;
  undo_arcs(mark);
  add(session_orders(rank));
  if (!infer()) {
    add(store_orders(ranks()));
    if (static_cast<int_t>(topological_order(g_).size()) == g_.nodeCount) return true;
  }
  undo_arcs(mark);
  close();
  return false;
}

void LockOrder::undo_arcs(std::size_t trail) {
  while (trail_.size() > trail) {
    g_.out[at(trail_.back())].pop_back();
    trail_.pop_back();
  }
}

std::optional<OpenPair> LockOrder::first_open_pair() const {
  for (std::size_t l = 0; l < g_.sessionsOfLock.size(); ++l) {
    const auto& sessions = g_.sessionsOfLock[l];
    for (std::size_t i = 0; i < sessions.size(); ++i) {
      for (std::size_t j = i + 1; j < sessions.size(); ++j) {
        if (!reach_.reaches(sessions[i].release, sessions[j].acquire) &&
            !reach_.reaches(sessions[j].release, sessions[i].acquire))
          return OpenPair{true, static_cast<int_t>(l), static_cast<int_t>(i),
                          static_cast<int_t>(j)};
      }
    }
  }
  for (std::size_t a = 0; a < g_.storesOfAddress.size(); ++a) {
    const auto& stores = g_.storesOfAddress[a];
    for (std::size_t i = 0; i < stores.size(); ++i) {
      for (std::size_t j = i + 1; j < stores.size(); ++j) {
        if (!must_precede(stores[i], stores[j]) && !must_precede(stores[j], stores[i]))
          return OpenPair{false, static_cast<int_t>(a), static_cast<int_t>(i),
                          static_cast<int_t>(j)};
      }
    }
  }
  return std::nullopt;
}

std::vector<NewArc> LockOrder::choice_arcs(const OpenPair& pair, bool forward) const {
  const auto first = at(forward ? pair.first : pair.second);
  const auto second = at(forward ? pair.second : pair.first);
  std::vector<NewArc> arcs;
  if (pair.sessions) {
    const auto& sessions = g_.sessionsOfLock[at(pair.group)];
    force_sessions(sessions[first], sessions[second], arcs);
  } else {
    const auto& stores = g_.storesOfAddress[at(pair.group)];
    force_stores(stores[first], stores[second], arcs);
  }
  return arcs;
}

// Tries the first open pair both ways, with the inference after each choice.
// When no pair is open, every session and store order is fixed and the graph
// is acyclic: the run is legal.
bool LockOrder::search() {
  const std::optional<OpenPair> pair = first_open_pair();
  if (!pair) return true;
  for (const bool forward : {true, false}) {
    if (++choices_ > kChoiceBudget) throw BudgetSpent{};
    const std::size_t mark = trail_.size();
    add(choice_arcs(*pair, forward));
    if (!infer() && search()) return true;
    undo_arcs(mark);
    close();
  }
  return false;
}

// Takes the sequence search's answer, if it gave one.
bool take_answer(const SequenceOutcome& sequence, LockDecision& decision) {
  decision.choices = sequence.choices;
  if (sequence.result == SequenceResult::OutOfBudget) return false;
  decision.verdict =
      sequence.result == SequenceResult::Found ? LockVerdict::Legal : LockVerdict::Violation;
  return true;
}

bool LockOrder::search_within_budget(LockDecision& decision) {
  const std::size_t mark = trail_.size();
  try {
    decision.verdict = search() ? LockVerdict::Legal : LockVerdict::Violation;
  } catch (const BudgetSpent&) {
    undo_arcs(mark);
    decision.verdict = LockVerdict::Undecided;
  }
  decision.choices += choices_;
  return decision.verdict != LockVerdict::Undecided;
}

// The last try on a run the other steps left undecided: the sequence search
// again, on the same graph, but with its choices ranked as program order in
// full and its inference rank them. The rank only orders the choices, so a
// sequence found is legal and an exhausted search proves the violation, as
// with any rank. Runs that are legal because they are sequentially
// consistent, as simulated ones are, then mostly find their sequence without
// backtracking, where the rank by height loses itself among deadlocks.
void find_sequence_by_program_order(const LockGraph& g, LockDecision& decision) {
  const std::optional<std::vector<int_t>> rank = program_order_rank(g);
  if (!rank) return;
  const std::int64_t budget = kOrderedRunsPerNode * g.nodeCount + kSequenceAllowance;
  SequenceOutcome sequence = find_sequence(g, *rank, budget);
  if (sequence.result == SequenceResult::OutOfBudget) {
    decision.choices += sequence.choices;
    sequence = find_sequence(g, *rank, budget, refutation_by_inference(g));
  }
  decision.choices += sequence.choices;
  if (sequence.result == SequenceResult::OutOfBudget) return;
  decision.verdict =
      sequence.result == SequenceResult::Found ? LockVerdict::Legal : LockVerdict::Violation;
}

}  // namespace

namespace {

// Chains each processor's kept operations in program order, passing over the
// unchained ones, which keep only the graph's own arcs.
LockGraph chained_in_program_order(const LockGraph& g, const std::vector<bool>& unchained) {
  LockGraph ordered = g;
  for (const auto& operations : state->graph) {
    int_t previous = -1;
    for (const opnode& x : operations) {
      if (!ordered.keeps(x.id) || unchained[at(x.id)]) continue;
      if (previous != -1) ordered.arc(previous, x.id, LO);
      previous = x.id;
    }
  }
  return ordered;
}

// Takes the operations of a cycle out of the chains; false when they all
// were out already.
bool unchain(const FoundCycle& cycle, std::vector<bool>& unchained) {
  bool fresh = false;
  for (const opnode* x : cycle.nodes) {
    fresh = fresh || !unchained[at(x->id)];
    unchained[at(x->id)] = true;
  }
  return fresh;
}

}  // namespace

// With every processor's operations chained in program order (those the
// graph keeps), the inference gives a sequentially consistent run the order
// of its stores and sessions nearly whole. A run that is not sequentially
// consistent (a stale load outside every session, say) may close a cycle
// there, and the operations of the cycle are then taken out of the chains:
// - A cycle of the chained graph itself has a chain arc, since the graph is
//   acyclic here, so each such round takes out two operations or more, for a
//   copy of the graph and a topological order.
// - An inference pass that closes a cycle is taken back; the operations of
//   that cycle are taken out and the inference runs again, four times at
//   most, or until the cycle's operations are all out already. Then the rank
//   is the reach after the passes before the one taken back.
std::optional<std::vector<int_t>> program_order_rank(const LockGraph& g) {
  std::vector<bool> unchained(at(g.nodeCount), false);
  int_t inferences = 0;
  for (int_t round = 0; round < kUnchainRounds; ++round) {
    LockGraph ordered = chained_in_program_order(g, unchained);
    const std::vector<int_t> order = topological_order(ordered);
    if (static_cast<int_t>(order.size()) != ordered.nodeCount) {
      unchain(cycle_left_out(ordered, order), unchained);
      continue;
    }
    LockOrder inference(ordered);
    const std::optional<FoundCycle> cycle = inference.infer(ClosingPass::TakeBack);
    if (!cycle || ++inferences == kInferenceRounds || !unchain(*cycle, unchained))
      return inference.reach_rank();
  }
  return std::nullopt;
}

namespace {

bool inference_refutes(const LockGraph& g, const std::vector<int_t>& prefix) {
  if (prefix.empty()) return false;
  LockGraph ordered = g;
  std::vector<char> ran(at(g.nodeCount), 0);
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    ran[at(prefix[i])] = 1;
    if (i > 0) ordered.arc(prefix[i - 1], prefix[i], LO);
  }
  for (int_t n = 0; n < g.nodeCount; ++n) {
    if (ran[at(n)] == 0) ordered.arc(prefix.back(), n, LO);
  }
  return infer_lock_orders(ordered).has_value();
}

}  // namespace

std::optional<FoundCycle> infer_lock_orders(LockGraph& g) {
  return LockOrder(g).infer();
}

Refutation refutation_by_inference(const LockGraph& g) {
  Refutation refutation;
  refutation.refute = [&g](const std::vector<int_t>& prefix) {
    return inference_refutes(g, prefix);
  };
  return refutation;
}

LockDecision decide_lock_graph(LockGraph& g) {
  LockDecision decision;
  if (g.orphanRelease) {
    decision.verdict = LockVerdict::Violation;
    return decision;
  }
  LockOrder order(g);
  decision.cycle = order.infer();
  if (decision.cycle) {
    decision.verdict = LockVerdict::Violation;
    return decision;
  }
  if (order.complete_by_rank()) {
    decision.verdict = LockVerdict::Legal;
    return decision;
  }
  if (take_answer(order.find_sequence(), decision)) return decision;
  if (g.nodeCount <= kSearchNodes && order.search_within_budget(decision)) return decision;
  find_sequence_by_program_order(g, decision);
  return decision;
}

namespace {

// Whether the graph fits the reachability matrix: one node per operation, two
// in optimized mode, and not more arcs from loads of the initial value to the
// stores of their address than a few per node.
// The graph's nodes: one per operation, and in optimized mode an issue point
// for each as well.
std::int64_t graph_nodes() {
  return std::int64_t{state->nodeCount} * (state->isBase == 1 ? 1 : 2);
}

bool fits_the_matrix() {
  const std::int64_t nodes = graph_nodes();
  if (nodes > kMatrixNodes) return false;
  std::vector<std::int64_t> initialLoads(at(state->addrColumns), 0);
  std::vector<std::int64_t> stores(at(state->addrColumns), 0);
  for (const auto& operations : state->graph) {
    for (const opnode& x : operations) {
      if (writes_memory(&x)) ++stores[at(x.column)];
      if (reads_memory(&x) && value_read(&x) == 0) ++initialLoads[at(x.column)];
    }
  }
  std::int64_t arcs = 0;
  for (std::size_t a = 0; a < stores.size(); ++a) arcs += initialLoads[a] * stores[a];
  return arcs <= 8 * nodes;
}

// A graph too large for the reachability matrix: a cycle of its fixed arcs,
// or else the sequence search alone.
LockDecision decide_without_matrix(MCM_t model) {
  if (graph_nodes() > kSequenceNodes) return {};
  const LockGraph g = build_lock_graph(model, false);
  LockDecision decision;
  const std::vector<int_t> order = topological_order(g);
  if (g.orphanRelease || static_cast<int_t>(order.size()) != g.nodeCount) {
    decision.verdict = LockVerdict::Violation;
    if (!g.orphanRelease) decision.cycle = cycle_left_out(g, order);
    return decision;
  }
  take_answer(find_sequence_by_height(g, order), decision);
  return decision;
}

}  // namespace

LockDecision decide_lock_model(MCM_t model) {
  if (!fits_the_matrix()) return decide_without_matrix(model);
  LockGraph g = build_lock_graph(model);
  return decide_lock_graph(g);
}
