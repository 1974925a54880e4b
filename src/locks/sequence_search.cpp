#include "locks/sequence_search.h"

#include <algorithm>
#include <random>
#include <unordered_set>

namespace {

// The deadlock check walks at most this many nodes after a choice; a walk cut
// short finds no deadlock, so the search goes on as it would without it.
constexpr std::size_t kDeadlockWalk = 512;

// An RMW is a load of the store it read and a store: it runs only while that
// store holds its address and it is the store's last load not run (or, having
// read the initial value, the last such load), and then holds the address for
// its own loads.
enum class Kind : std::uint8_t { Free, Load, Store, Rmw, Acquire, Release };

// A set of node ids with constant-time insert and erase.
class NodeSet {
 public:
  explicit NodeSet(int_t nodes) : position_(at(nodes), -1) {}
  void insert(int_t n) {
    if (position_[at(n)] != -1) return;
    position_[at(n)] = static_cast<int_t>(members_.size());
    members_.push_back(n);
  }
  void erase(int_t n) {
    const int_t p = position_[at(n)];
    if (p == -1) return;
    members_[at(p)] = members_.back();
    position_[at(members_.back())] = p;
    members_.pop_back();
    position_[at(n)] = -1;
  }
  const std::vector<int_t>& members() const { return members_; }

 private:
  std::vector<int_t> members_;
  std::vector<int_t> position_;
};

// The set of nodes run, as two independent 64-bit sums of random keys: two
// different sets share a digest with odds of about 2^-128 per pair.
struct Digest {
  std::uint64_t low = 0;
  std::uint64_t high = 0;
  bool operator==(const Digest&) const = default;
};

struct DigestHash {
  std::size_t operator()(const Digest& d) const { return d.low; }
};

// A state where a choice is made: the trail's length there, the choices open
// and the next one to try.
struct Frame {
  std::size_t trail;
  Digest digest;
  std::vector<int_t> candidates;
  std::size_t next = 0;
};

using FailedStates = std::unordered_set<Digest, DigestHash>;

class SequenceSearch {
 public:
  SequenceSearch(const LockGraph& g, const std::vector<int_t>& rank, const Refutation& refutation);
  SequenceOutcome run(std::int64_t budget);

 private:
  void classify();
  void enter_if_ready(int_t n);
  void execute(int_t n);
  void undo(int_t n);
  void undo_to(std::size_t trail);
  void settle();
  bool runs_freely(int_t n) const;
  bool holds(int_t n) const;
  bool is_open(int_t n) const;
  bool takes_address(int_t n) const;
  void read_store(int_t n);
  void unread_store(int_t n);
  bool try_freely(int_t n);
  void add_blockers(int_t n, std::vector<int_t>& holders, std::vector<int_t>& seen) const;
  bool closes_deadlock(int_t choice) const;
  bool blocks_a_ready_node(int_t holder) const;
  void add_holders_waited_for(int_t n, std::vector<int_t>& todo) const;
  bool waits_for_its_own_group(int_t choice) const;
  bool dead_end(int_t choice) const;
  bool stalled(std::size_t depth, std::int64_t choices);
  void backjump(std::vector<Frame>& frames, FailedStates& failed, std::int64_t choices);

  void advance();
  std::vector<int_t> candidates() const;
  bool complete() const { return static_cast<int_t>(trail_.size()) == g_.nodeCount; }

  const LockGraph& g_;
  const std::vector<int_t>& rank_;
  const Refutation& refutation_;
  int refutations_;  // calls of the refuter left
  std::vector<Kind> kind_;
  std::vector<int_t> group_;      // address of a load or store, lock of an acquire or release
  std::vector<int_t> storeOf_;    // per load or RMW, the store it read, or -1 for the initial value
  std::vector<int_t> acquireOf_;  // per release, its session's acquire
  std::vector<int_t> releaseOf_;  // per acquire, its session's release
  std::vector<std::vector<int_t>> predecessors_;
  std::vector<int_t> waiting_;        // predecessors not run yet
  std::vector<int_t> loadsLeft_;      // per store, its loads not run yet
  std::vector<int_t> initialLeft_;    // per address, loads of the initial value not run yet
  std::vector<int_t> addressHolder_;  // the store whose loads wait, or -1
  std::vector<int_t> lockHolder_;     // the acquire of the session open, or -1
  std::vector<std::uint64_t> keys_;   // two per node
  std::vector<int_t> trail_;          // the nodes run, in order
  std::vector<char> ran_;             // per node, whether it is on the trail
  mutable std::vector<char> seen_;    // marks of `closes_deadlock`, all clear between calls
  std::vector<int_t> freeSteps_;
  NodeSet ready_;  // stores and acquires whose predecessors ran
  Digest digest_;
  std::int64_t steps_ = 0;
  std::size_t deepest_ = 0;      // most frames since the last backjump
  std::int64_t deepenedAt_ = 0;  // the choices made when that depth was reached
  std::size_t unrefuted_ = 0;    // frames below this the refuter could not refute
};

SequenceSearch::SequenceSearch(const LockGraph& g, const std::vector<int_t>& rank,
                               const Refutation& refutation)
    : g_(g),
      rank_(rank),
      refutation_(refutation),
      refutations_(refutation.calls),
      kind_(at(g.nodeCount), Kind::Free),
      group_(at(g.nodeCount), -1),
      storeOf_(at(g.nodeCount), -1),
      acquireOf_(at(g.nodeCount), -1),
      releaseOf_(at(g.nodeCount), -1),
      predecessors_(at(g.nodeCount)),
      waiting_(at(g.nodeCount), 0),
      loadsLeft_(at(g.nodeCount), 0),
      initialLeft_(g.storesOfAddress.size(), 0),
      addressHolder_(g.storesOfAddress.size(), -1),
      lockHolder_(g.sessionsOfLock.size(), -1),
      ran_(at(g.nodeCount), 0),
      seen_(at(g.nodeCount), 0),
      ready_(g.nodeCount) {
  classify();
  std::mt19937_64 random(0x5eed);
  keys_.resize(2 * at(g.nodeCount));
  for (std::uint64_t& key : keys_) key = random();
  for (int_t n = 0; n < g.nodeCount; ++n) {
    for (const LockArc& arc : g.out[at(n)]) {
      ++waiting_[at(arc.to)];
      predecessors_[at(arc.to)].push_back(n);
    }
  }
  for (int_t n = 0; n < g.nodeCount; ++n) enter_if_ready(n);
}

void SequenceSearch::classify() {
  for (std::size_t a = 0; a < g_.storesOfAddress.size(); ++a) {
    for (int_t w : g_.storesOfAddress[a]) {
      kind_[at(w)] = g_.operations[at(w)]->optype == RMW ? Kind::Rmw : Kind::Store;
      group_[at(w)] = static_cast<int_t>(a);
      loadsLeft_[at(w)] = static_cast<int_t>(g_.readers[at(w)].size());
      for (int_t r : g_.readers[at(w)]) storeOf_[at(r)] = w;
    }
    initialLeft_[a] = static_cast<int_t>(g_.initialReaders[a].size());
    for (int_t r : g_.initialReaders[a]) {
      if (kind_[at(r)] != Kind::Rmw) kind_[at(r)] = Kind::Load;
    }
  }
  for (int_t n = 0; n < g_.realCount; ++n) {
    if (storeOf_[at(n)] != -1 && kind_[at(n)] != Kind::Rmw) kind_[at(n)] = Kind::Load;
    if (kind_[at(n)] == Kind::Load) group_[at(n)] = g_.operations[at(n)]->column;
  }
  for (std::size_t l = 0; l < g_.sessionsOfLock.size(); ++l) {
    for (const LockSession& s : g_.sessionsOfLock[l]) {
      kind_[at(s.acquire)] = Kind::Acquire;
      kind_[at(s.release)] = Kind::Release;
      group_[at(s.acquire)] = group_[at(s.release)] = static_cast<int_t>(l);
      acquireOf_[at(s.release)] = s.acquire;
      releaseOf_[at(s.acquire)] = s.release;
    }
  }
}

// A node whose predecessors all ran: a step to run at once, or a choice.
void SequenceSearch::enter_if_ready(int_t n) {
  if (waiting_[at(n)] != 0) return;
  if (takes_address(n) || kind_[at(n)] == Kind::Acquire)
    ready_.insert(n);
  else
    freeSteps_.push_back(n);
}

void SequenceSearch::execute(int_t n) {
  ++steps_;
  trail_.push_back(n);
  ran_[at(n)] = 1;
  digest_.low += keys_[2 * at(n)];
  digest_.high += keys_[2 * at(n) + 1];
  const int_t group = group_[at(n)];
  switch (kind_[at(n)]) {
    case Kind::Store:
      ready_.erase(n);
      if (loadsLeft_[at(n)] > 0) addressHolder_[at(group)] = n;
      break;
    case Kind::Load:
      read_store(n);
      break;
    case Kind::Rmw:
      ready_.erase(n);
      read_store(n);
      if (loadsLeft_[at(n)] > 0) addressHolder_[at(group)] = n;
      break;
    case Kind::Acquire:
      ready_.erase(n);
      lockHolder_[at(group)] = n;
      break;
    case Kind::Release:
      lockHolder_[at(group)] = -1;
      break;
    case Kind::Free:
      break;
  }
  for (const LockArc& arc : g_.out[at(n)]) {
    --waiting_[at(arc.to)];
    enter_if_ready(arc.to);
  }
}

// The inverse of `execute`, for the last node run, when no step is pending.
void SequenceSearch::undo(int_t n) {
  for (const LockArc& arc : g_.out[at(n)]) {
    if (waiting_[at(arc.to)]++ == 0) ready_.erase(arc.to);
  }
  const int_t group = group_[at(n)];
  switch (kind_[at(n)]) {
    case Kind::Store:
      ready_.insert(n);
      if (loadsLeft_[at(n)] > 0) addressHolder_[at(group)] = -1;
      break;
    case Kind::Load:
      unread_store(n);
      break;
    case Kind::Rmw:
      ready_.insert(n);
      if (loadsLeft_[at(n)] > 0) addressHolder_[at(group)] = -1;
      unread_store(n);
      break;
    case Kind::Acquire:
      ready_.insert(n);
      lockHolder_[at(group)] = -1;
      break;
    case Kind::Release:
      lockHolder_[at(group)] = acquireOf_[at(n)];
      break;
    case Kind::Free:
      break;
  }
  digest_.low -= keys_[2 * at(n)];
  digest_.high -= keys_[2 * at(n) + 1];
  ran_[at(n)] = 0;
}

void SequenceSearch::undo_to(std::size_t trail) {
  while (trail_.size() > trail) {
    undo(trail_.back());
    trail_.pop_back();
  }
}

// A load or RMW lets go of the store it read once it was that store's last
// load to run.
void SequenceSearch::read_store(int_t n) {
  const int_t group = group_[at(n)];
  if (storeOf_[at(n)] == -1)
    --initialLeft_[at(group)];
  else if (--loadsLeft_[at(storeOf_[at(n)])] == 0)
    addressHolder_[at(group)] = -1;
}

void SequenceSearch::unread_store(int_t n) {
  const int_t group = group_[at(n)];
  if (storeOf_[at(n)] == -1)
    ++initialLeft_[at(group)];
  else if (loadsLeft_[at(storeOf_[at(n)])]++ == 0)
    addressHolder_[at(group)] = storeOf_[at(n)];
}

bool SequenceSearch::takes_address(int_t n) const {
  return kind_[at(n)] == Kind::Store || kind_[at(n)] == Kind::Rmw;
}

// A ready store or acquire whose address or lock is free; a store also waits
// until every load of its address's initial value ran. A ready RMW waits
// until it is the last load left of the store it read.
bool SequenceSearch::is_open(int_t n) const {
  const int_t group = group_[at(n)];
  if (kind_[at(n)] == Kind::Acquire) return lockHolder_[at(group)] == -1;
  if (kind_[at(n)] == Kind::Rmw && storeOf_[at(n)] != -1)
    return addressHolder_[at(group)] == storeOf_[at(n)] && loadsLeft_[at(storeOf_[at(n)])] == 1;
  if (kind_[at(n)] == Kind::Rmw)
    return addressHolder_[at(group)] == -1 && initialLeft_[at(group)] == 1;
  return addressHolder_[at(group)] == -1 && initialLeft_[at(group)] == 0;
}

// An open store or RMW that no load read.
bool SequenceSearch::runs_freely(int_t n) const {
  return takes_address(n) && loadsLeft_[at(n)] == 0 && is_open(n);
}

// Runs every step that is no choice, until none is left.
void SequenceSearch::settle() {
  for (;;) {
    while (!freeSteps_.empty()) {
      const int_t n = freeSteps_.back();
      freeSteps_.pop_back();
      execute(n);
    }
    const auto& ready = ready_.members();
    const auto store =
        std::find_if(ready.begin(), ready.end(), [&](int_t n) { return runs_freely(n); });
    if (store == ready.end()) return;
    execute(*store);
  }
}

// Whether choice `n`, already run, still holds its address or lock.
bool SequenceSearch::holds(int_t n) const {
  const std::vector<int_t>& holder = takes_address(n) ? addressHolder_ : lockHolder_;
  return holder[at(group_[at(n)])] == n;
}

// Runs choice `n` and the steps that follow freely, and keeps them if `n`
// holds nothing afterwards: its loads or its whole session ran with it, and
// moving that stretch to the front of any legal rest keeps the rest legal.
bool SequenceSearch::try_freely(int_t n) {
  const std::size_t mark = trail_.size();
  execute(n);
  settle();
  if (!holds(n)) return true;
  undo_to(mark);
  return false;
}

// Walks back from node `n` over the nodes not run yet that it waits for and
// collects the holders that keep one of them from running: once every free
// step ran, a node not run whose predecessors all ran is a store or acquire
// whose address or lock is held.
void SequenceSearch::add_blockers(int_t n, std::vector<int_t>& holders,
                                  std::vector<int_t>& seen) const {
  std::vector<int_t> todo{n};
  while (!todo.empty() && seen.size() < kDeadlockWalk) {
    const int_t m = todo.back();
    todo.pop_back();
    if (ran_[at(m)] != 0 || seen_[at(m)] != 0) continue;
    seen_[at(m)] = 1;
    seen.push_back(m);
    for (int_t p : predecessors_[at(m)]) todo.push_back(p);
    if (waiting_[at(m)] != 0 || is_open(m)) continue;
    const int_t group = group_[at(m)];
    const int_t holder =
        kind_[at(m)] == Kind::Acquire ? lockHolder_[at(group)] : addressHolder_[at(group)];
    if (holder != -1) holders.push_back(holder);
  }
}

// Whether a store or acquire whose predecessors all ran waits for `holder` to
// let go of its address or lock: without one, no cycle of holders can pass
// through `holder`.
bool SequenceSearch::blocks_a_ready_node(int_t holder) const {
  const auto& ready = ready_.members();
  return std::any_of(ready.begin(), ready.end(), [&](int_t n) {
    return n != holder && takes_address(n) == takes_address(holder) &&
           group_[at(n)] == group_[at(holder)];
  });
}

// Whether `choice`, run with the steps that follow it, now holds its address
// or lock in a cycle of holders that each wait for the next to let go: the
// loads of a holding store, or the release of a holding acquire, wait for a
// node that the next holder keeps from running. No holder of such a cycle
// ever lets go, so no sequence completes from this state, whatever runs next,
// and the state counts as left without success. Only cycles through `choice`
// are looked for, and the walk visits each node not run at most once, up to
// `kDeadlockWalk` of them; a deadlock this misses still ends in a state
// without open choices.
bool SequenceSearch::closes_deadlock(int_t choice) const {
  if (!holds(choice) || !blocks_a_ready_node(choice)) return false;
  std::vector<int_t> holders{choice};
  std::vector<int_t> seen;
  bool closed = false;
  for (std::size_t i = 0; i < holders.size() && !closed; ++i) {
    const int_t h = holders[i];
    const std::size_t known = holders.size();
    if (kind_[at(h)] == Kind::Acquire) {
      add_blockers(releaseOf_[at(h)], holders, seen);
    } else {
      for (int_t r : g_.readers[at(h)]) add_blockers(r, holders, seen);
    }
    closed = std::find(holders.begin() + static_cast<std::ptrdiff_t>(known), holders.end(),
                       choice) != holders.end();
  }
  for (int_t m : seen) seen_[at(m)] = 0;
  return closed;
}

// The nodes that `n` must wait for besides its predecessors: the loads of
// the store that holds its address (and of the initial value) when `n` is a
// store or RMW, or the release of the session that holds its lock when `n` is
// an acquire.
void SequenceSearch::add_holders_waited_for(int_t n, std::vector<int_t>& todo) const {
  const int_t group = group_[at(n)];
  if (kind_[at(n)] == Kind::Acquire) {
    if (lockHolder_[at(group)] != -1) todo.push_back(releaseOf_[at(lockHolder_[at(group)])]);
    return;
  }
  if (!takes_address(n)) return;
  const auto add_loads = [&](const std::vector<int_t>& loads) {
    for (int_t r : loads) {
      if (r != n && ran_[at(r)] == 0) todo.push_back(r);
    }
  };
  const int_t holder = addressHolder_[at(group)];
  if (holder != -1 && holder != n) add_loads(g_.readers[at(holder)]);
  if (initialLeft_[at(group)] > 0) add_loads(g_.initialReaders[at(group)]);
}

// Whether `choice` holds its address or lock while its loads or its release
// wait, through predecessors and holders, for another store of its address
// or another acquire of its lock, which cannot run before they did. The walk
// visits each node not run at most once and is not cut short, so it finds
// every such wait, whether or not the node waited for is ready; the check of
// `closes_deadlock` only sees waits on ready nodes, within its walk.
bool SequenceSearch::waits_for_its_own_group(int_t choice) const {
  if (!holds(choice)) return false;
  const Kind kind = kind_[at(choice)] == Kind::Acquire ? Kind::Acquire : Kind::Store;
  std::vector<int_t> todo;
  if (kind == Kind::Acquire) todo.push_back(releaseOf_[at(choice)]);
  if (kind == Kind::Store) todo = g_.readers[at(choice)];
  std::vector<int_t> seen;
  bool waits = false;
  while (!todo.empty() && !waits) {
    const int_t m = todo.back();
    todo.pop_back();
    if (ran_[at(m)] != 0 || seen_[at(m)] != 0) continue;
    seen_[at(m)] = 1;
    seen.push_back(m);
    waits = kind_[at(m)] == kind && group_[at(m)] == group_[at(choice)];
    for (int_t p : predecessors_[at(m)]) todo.push_back(p);
    add_holders_waited_for(m, todo);
  }
  for (int_t m : seen) seen_[at(m)] = 0;
  return waits;
}

// Whether the state after `choice` is known to lead nowhere.
bool SequenceSearch::dead_end(int_t choice) const {
  return closes_deadlock(choice) || (refutation_.refute && waits_for_its_own_group(choice));
}

// Whether the search, with a refuter to ask, made `stallChoices` choices
// without going deeper.
bool SequenceSearch::stalled(std::size_t depth, std::int64_t choices) {
  if (!refutation_.refute || refutations_ == 0) return false;
  if (depth > deepest_) {
    deepest_ = depth;
    deepenedAt_ = choices;
  }
  return choices - deepenedAt_ >= refutation_.stallChoices;
}

// A stalled search has often made a wrong choice far below the frames it
// exhausts, and would try every order of the choices above it before it got
// back there. The refuter finds the lowest frame whose state it refutes: a
// state extends the states of the frames below it, so what refutes a frame
// refutes the frames above it too, and a binary search over the frames not
// yet proven unrefutable finds it. That frame and those above are left
// without success, and the search goes on with the next choice of the frame
// below. Only refuted states are left, so exhausting the states still proves
// that no legal sequence exists.
void SequenceSearch::backjump(std::vector<Frame>& frames, FailedStates& failed,
                              std::int64_t choices) {
  std::size_t low = unrefuted_;
  std::size_t high = frames.size();
  while (low < high && refutations_ > 0) {
    --refutations_;
    const std::size_t middle = low + (high - low) / 2;
    const auto end = trail_.begin() + static_cast<std::ptrdiff_t>(frames[middle].trail);
    if (refutation_.refute(std::vector<int_t>(trail_.begin(), end)))
      high = middle;
    else
      low = middle + 1;
  }
  unrefuted_ = low;
  for (std::size_t i = high; i < frames.size(); ++i) failed.insert(frames[i].digest);
  frames.resize(high);
  deepest_ = frames.size();
  deepenedAt_ = choices;
}

// Runs every step that is no choice and every choice that holds nothing once
// the steps that follow it ran.
void SequenceSearch::advance() {
  settle();
  for (bool moved = true; moved;) {
    const std::vector<int_t> open = candidates();
    moved = std::any_of(open.begin(), open.end(), [&](int_t n) { return try_freely(n); });
  }
}

// The open choices, lowest rank first.
std::vector<int_t> SequenceSearch::candidates() const {
  std::vector<int_t> open;
  for (int_t n : ready_.members()) {
    if (is_open(n)) open.push_back(n);
  }
  std::sort(open.begin(), open.end(),
            [&](int_t a, int_t b) { return rank_[at(a)] < rank_[at(b)]; });
  return open;
}

SequenceOutcome SequenceSearch::run(std::int64_t budget) {
  SequenceOutcome outcome;
  FailedStates failed;
  std::vector<Frame> frames;
  advance();
  if (complete()) outcome.result = SequenceResult::Found;
  if (complete()) return outcome;
  frames.push_back({trail_.size(), digest_, candidates()});
  while (!frames.empty()) {
    if (stalled(frames.size(), outcome.choices)) {
      backjump(frames, failed, outcome.choices);
      if (frames.empty()) break;
    }
    Frame& frame = frames.back();
    undo_to(frame.trail);
    if (frame.next == frame.candidates.size()) {
      failed.insert(frame.digest);
      frames.pop_back();
      unrefuted_ = std::min(unrefuted_, frames.size());
      continue;
    }
    ++outcome.choices;
    const int_t choice = frame.candidates[frame.next++];
    execute(choice);
    advance();
    if (complete()) outcome.result = SequenceResult::Found;
    if (complete() || steps_ > budget) return outcome;
    if (dead_end(choice)) failed.insert(digest_);
    if (!failed.contains(digest_)) frames.push_back({trail_.size(), digest_, candidates()});
  }
  outcome.result = SequenceResult::None;
  return outcome;
}

}  // namespace

SequenceOutcome find_sequence(const LockGraph& g, const std::vector<int_t>& rank,
                              std::int64_t budget, const Refutation& refutation) {
  return SequenceSearch(g, rank, refutation).run(budget);
}
