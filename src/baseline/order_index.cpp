#include "baseline/order_index.h"

#include <algorithm>
#include <unordered_map>

#include "derive/program_order.h"
#include "trace/read_from.h"

OrderIndex::OrderIndex()
    : width_(static_cast<std::size_t>(chains_per_processor()) * state->graph.size()),
      grouped_(weak_without_barriers()),
      chainSlots_(grouped_ ? 2 * state->graph.size() : width_),
      processorSlots_(state->MC == WMO && !grouped_ ? state->graph.size() : 0),
      rowWidth_(chainSlots_ + processorSlots_),
      chainStart_(width_ + 1, 0),
      place_(static_cast<std::size_t>(state->nodeCount) + 1, 0),
      carried_(rowWidth_),
      ends_(width_) {
  place_operations();
  place_chains_in_groups();
  rows_.assign(chainStart_.back() * rowWidth_, kNone);
  changed_.assign(chainStart_.back(), 0);
  set_.resize(chainStart_.back());
  run_.resize(chainStart_.back());
  for (std::size_t p = 0; p < set_.size(); ++p) set_[p] = run_[p] = p;
  for (int_t p = 0; p < static_cast<int_t>(state->graph.size()); ++p) {
    if (state->MC == PSO) {
      close_per_address_order(p);
    } else if (state->MC == WMO) {
      close_weak_order(p);
    } else {
      close_program_order(p);
    }
  }
  keep_first_rows();
}

bool OrderIndex::weak_without_barriers() {
  if (state->MC != WMO || !state->operationTimes.empty()) return false;
  for (const auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (!is_access(&node)) return false;
    }
  }
  return true;
}

// Under WMO chain c is 2A * p + A * s + a for processor p, address column a
// of A, and s 1 for stores; in a row of address a its entry is 2 * p + s.
void OrderIndex::place_chains_in_groups() {
  chainGroup_.assign(width_, 0);
  chainSlot_.resize(width_);
  processorSlot_.assign(width_, kNoSlot);
  const auto columns = static_cast<std::size_t>(std::max<int_t>(state->addrColumns, 1));
  const auto perProcessor = static_cast<std::size_t>(chains_per_processor());
  for (std::size_t c = 0; c < width_; ++c) {
    chainSlot_[c] = c;
    if (processorSlots_ != 0) processorSlot_[c] = chainSlots_ + c / perProcessor;
    if (!grouped_) continue;
    chainGroup_[c] = c % (2 * columns) % columns;
    chainSlot_[c] = 2 * (c / (2 * columns)) + (c % (2 * columns) >= columns ? 1 : 0);
  }
}

std::size_t OrderIndex::chain_at(std::size_t group, std::size_t slot) const {
  if (!grouped_) return slot;
  const auto columns = static_cast<std::size_t>(state->addrColumns);
  return 2 * columns * (slot / 2) + columns * (slot % 2) + group;
}

void OrderIndex::set_entry(std::size_t place, std::size_t chain, int_t value) {
  if (group_of_chain(chain) == group_of_place(place)) row(place)[slot_of(chain)] = value;
}

// Larger than this, the first rows by column would cost more memory than
// the probes they save are worth (64 MB).
constexpr std::size_t kFirstRowsEntries = std::size_t{4096} * 4096;

void OrderIndex::keep_first_rows() {
  if (width_ * chainSlots_ > kFirstRowsEntries) return;
  firstRowsKept_ = true;
  firstRows_.assign(width_ * chainSlots_, kNone);
  firstOf_.assign(chainStart_.back(), -1);
  for (std::size_t c = 0; c < width_; ++c) {
    if (chainStart_[c] == chain_end(c)) continue;
    firstOf_[chainStart_[c]] = static_cast<int_t>(c);
    for (std::size_t s = 0; s < chainSlots_; ++s) {
      const std::size_t d = chain_at(chainGroup_[c], s);
      firstRows_[d * chainSlots_ + chainSlot_[c]] = entry(chainStart_[c], d);
    }
  }
}

const int_t* OrderIndex::first_rows_into(const opnode* x) const {
  if (!firstRowsKept_) return nullptr;
  return &firstRows_[static_cast<std::size_t>(chain_of(x)) * chainSlots_];
}

// The first member of chain `first` now reaches from `value` on what the
// entry `slot` of its row stands for: one chain, or all of a processor's.
void OrderIndex::note_first_row(std::size_t first, std::size_t slot, int_t value) {
  const auto lower_to = [&](std::size_t chain) {
    int_t& kept = firstRows_[chain * chainSlots_ + chainSlot_[first]];
    kept = std::min(kept, value);
  };
  if (slot < chainSlots_) return lower_to(chain_at(chainGroup_[first], slot));
  const auto perProcessor = static_cast<std::size_t>(chains_per_processor());
  const std::size_t base = (slot - chainSlots_) * perProcessor;
  for (std::size_t chain = base; chain < base + perProcessor; ++chain) lower_to(chain);
}

void OrderIndex::place_operations() {
  std::vector<std::size_t> length(width_, 0);
  for (const auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (is_access(&node)) ++length[chain_of(&node)];
    }
  }
  for (std::size_t c = 0; c < width_; ++c) chainStart_[c + 1] = chainStart_[c] + length[c];
  members_.resize(chainStart_.back());
  across_.assign(chainStart_.back(), kNone);
  partnerFrom_.assign(chainStart_.back(), kNone);
  seqs_.resize(chainStart_.back());
  std::vector<std::size_t> next(chainStart_.begin(), chainStart_.end() - 1);
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      if (!is_access(&node)) continue;
      place_[node.id] = next[chain_of(&node)]++;
      members_[place_[node.id]] = &node;
      seqs_[place_[node.id]] = node.seq_num;
    }
  }
}

// Sweeps the processor from its end. Every operation reaches the later
// stores; under SC, and from a load under PC and TSO, the later loads too.
// From a store or a lock operation under PC, a load is reached through the
// next store, along the chain of operations to the same address, or through
// the next fence. Under TSO a lock operation is a fence, and a store reaches
// a load through the next store, the next fence, or as the first load of its
// address before the next store there that did not read it (from the buffer).
void OrderIndex::close_program_order(int_t p) {
  const auto& operations = state->graph[p];
  std::vector<int_t> loadReached(operations.size(), kNone);
  int_t nextLoad = kNone;
  int_t nextStore = kNone;
  int_t loadAfterFence = kNone;
  std::unordered_map<int_t, int_t> nextOfAddr;
  // Under TSO, per address, the loads since the next store there, latest
  // first.
  std::unordered_map<int_t, std::vector<int_t>> loadsAhead;
  for (auto k = static_cast<int_t>(operations.size()) - 1; k >= 0; --k) {
    const opnode& u = operations[k];
    loadReached[k] = nextLoad;
    if (u.optype == FENCE || (state->MC == TSO && u.optype == SYNC)) {
      loadAfterFence = nextLoad;
      continue;
    }
    if (u.optype != LOAD && state->MC != SC) {
      loadReached[k] = nextStore == kNone ? kNone : loadReached[nextStore];
      loadReached[k] = std::min(loadReached[k], loadAfterFence);
      if (state->MC == TSO) {
        loadReached[k] = std::min(loadReached[k], first_not_reading(u, loadsAhead[u.addr]));
      } else {
        loadReached[k] = std::min(loadReached[k], along_address(u, nextOfAddr, loadReached));
      }
    }
    if (is_access(&u)) place_rows(u, loadReached[k], nextLoad, nextStore);
    nextOfAddr[u.addr] = k;
    if (u.optype == LOAD) nextLoad = k;
    if (u.optype == STORE) nextStore = k;
    if (state->MC == TSO && u.optype == LOAD) loadsAhead[u.addr].push_back(k);
    if (state->MC == TSO && u.optype == STORE) loadsAhead[u.addr].clear();
  }
}

// Under PC: what the next operation to the store's (or lock's) address
// reaches, and that operation itself when it is a load.
int_t OrderIndex::along_address(const opnode& u, const std::unordered_map<int_t, int_t>& nextOfAddr,
                                const std::vector<int_t>& loadReached) {
  const auto same = nextOfAddr.find(u.addr);
  if (same == nextOfAddr.end()) return kNone;
  const bool load = state->graph[u.proc_num][same->second].optype == LOAD;
  return load ? same->second : loadReached[same->second];
}

// Under TSO: the first of the loads ahead (latest first) that did not read
// the store w.
int_t OrderIndex::first_not_reading(const opnode& w, const std::vector<int_t>& loadsAhead) {
  for (auto k = loadsAhead.rbegin(); k != loadsAhead.rend(); ++k) {
    if (st_mapping(node_at(w.proc_num, *k)) != &w) return *k;
  }
  return kNone;
}

void OrderIndex::place_rows(const opnode& u, int_t loadReached, int_t nextLoad, int_t nextStore) {
  int_t* own = row(place_[u.id]);
  const int_t p = u.proc_num;
  if (state->MC != SC) {
    own[2 * p] = loadReached;
    own[2 * p + 1] = nextStore;
    across_[place_[u.id]] = u.optype == LOAD ? nextStore : loadReached;
  } else {
    own[p] = std::min(nextLoad, nextStore);
  }
}

// Under PSO, sweeping from the end: a load reaches everything after it, a
// fence or lock operation likewise; a store reaches the next store to its
// address, and from some point on everything: from the first load of its
// address before that store that did not read it, from the next fence or lock
// operation, or from where that next store does.
void OrderIndex::close_per_address_order(int_t p) {
  const auto& operations = state->graph[p];
  std::vector<int_t> from(operations.size(), kNone);
  int_t barrier = kNone;
  std::unordered_map<int_t, int_t> nextStoreOf;
  std::unordered_map<int_t, std::vector<int_t>> loadsAhead;
  for (auto k = static_cast<int_t>(operations.size()) - 1; k >= 0; --k) {
    const opnode& u = operations[k];
    if (!is_access(&u)) {
      barrier = k + 1;
      continue;
    }
    if (u.optype == LOAD) {
      from[k] = k + 1;
      loadsAhead[u.addr].push_back(k);
      place_rows_from(u, from[k], kNone);
      continue;
    }
    const auto next = nextStoreOf.find(u.addr);
    const int_t nextStore = next == nextStoreOf.end() ? kNone : next->second;
    from[k] = std::min({barrier, first_not_reading(u, loadsAhead[u.addr]),
                        nextStore == kNone ? kNone : from[nextStore]});
    place_rows_from(u, from[k], nextStore);
    nextStoreOf[u.addr] = k;
    loadsAhead[u.addr].clear();
  }
}

// Under WMO, sweeping from the end: a member reaches everything from where
// its processor opens to it on, and otherwise only accesses to its own
// address. A load reaches the next load and the next store there; a store
// the next store, and the loads of its address from the first one before
// that store that did not read it, or from where that store reaches them.
// What a member opens to is the least of: the next fence or lock operation;
// for a load, the first operation its times order after it, and what the
// next load of its address opens to (that load reaches the stores the load
// reaches, or there are none after it); for a store, what the next store of
// its address and the first load it reaches open to (that load reaches the
// later ones).
void OrderIndex::close_weak_order(int_t p) {
  const auto& operations = state->graph[p];
  int_t barrier = kNone;
  std::vector<int_t> opened(operations.size(), kNone);
  std::unordered_map<int_t, int_t> nextLoadOf;
  std::unordered_map<int_t, int_t> nextStoreOf;
  std::unordered_map<int_t, std::vector<int_t>> loadsAhead;
  const auto next_of = [](const std::unordered_map<int_t, int_t>& next, int_t addr) {
    const auto found = next.find(addr);
    return found == next.end() ? kNone : found->second;
  };
  const auto opened_at = [&](int_t k) { return k == kNone ? kNone : opened[k]; };
  for (auto k = static_cast<int_t>(operations.size()) - 1; k >= 0; --k) {
    const opnode& u = operations[k];
    if (!is_access(&u)) {
      barrier = k + 1;
      continue;
    }
    const int_t nextStore = next_of(nextStoreOf, u.addr);
    if (u.optype == LOAD) {
      const int_t nextLoad = next_of(nextLoadOf, u.addr);
      opened[k] = std::min({barrier, stamped_from(u), opened_at(nextLoad)});
      place_weak_row(u, opened[k], nextLoad, nextStore, k + 1);
      nextLoadOf[u.addr] = k;
      loadsAhead[u.addr].push_back(k);
      continue;
    }
    const int_t unread = first_not_reading(u, loadsAhead[u.addr]);
    opened[k] = std::min({barrier, opened_at(unread), opened_at(nextStore)});
    const auto partner = static_cast<std::size_t>(partner_chain(&u));
    const int_t viaNext =
        nextStore == kNone ? kNone : entry(place_[node_at(p, nextStore)->id], partner);
    place_weak_row(u, opened[k], nextStore, std::min(unread, viaNext), unread);
    nextStoreOf[u.addr] = k;
    loadsAhead[u.addr].clear();
  }
}

// Where the times of the load u order every later operation of its thread
// after it, or kNone.
int_t OrderIndex::stamped_from(const opnode& u) {
  const int_t first = first_stamped_after(&u);
  return first < state->procOpNum[u.proc_num] ? first : kNone;
}

// The row of a WMO member: its processor's chains from `opened` on, its
// own chain from `ownNext`, the other chain of its address from
// `partnerReached`; `partnerFirst` is where its own arcs enter that chain.
void OrderIndex::place_weak_row(const opnode& u, int_t opened, int_t ownNext, int_t partnerReached,
                                int_t partnerFirst) {
  const std::size_t place = place_[u.id];
  if (processorSlots_ != 0) row(place)[chainSlots_ + static_cast<std::size_t>(u.proc_num)] = opened;
  const auto partner = static_cast<std::size_t>(partner_chain(&u));
  const std::size_t entered = first_at(partner, partnerReached);
  const int_t reached = entered < chain_end(partner) ? seqs_[entered] : kNone;
  const auto ownChain = static_cast<std::size_t>(chain_of(&u));
  set_entry(place, ownChain, std::min(entry(place, ownChain), ownNext));
  set_entry(place, partner, std::min(entry(place, partner), reached));
  across_[place] = opened;
  partnerFrom_[place] = partnerFirst;
}

// The row of a member that reaches the next member of its own chain at
// `nextOfOwnChain` (or, for a load, the next load) and every member of its
// processor's chains from `from` on.
void OrderIndex::place_rows_from(const opnode& u, int_t from, int_t nextOfOwnChain) {
  int_t* own = row(place_[u.id]);
  const int_t base = chains_per_processor() * u.proc_num;
  const int_t ownChain = chain_of(&u);
  for (int_t c = base; c < base + chains_per_processor(); ++c) {
    const std::size_t first = first_at(static_cast<std::size_t>(c), from);
    own[c] = first < chain_end(static_cast<std::size_t>(c)) ? seqs_[first] : kNone;
  }
  if (u.optype == STORE) own[ownChain] = std::min(own[ownChain], nextOfOwnChain);
  across_[place_[u.id]] = from;
}

// The members that reach x form a prefix of the chain, so its end is the
// one place where the answer turns from yes to no. Successive arcs mostly
// leave that place where it was, or move it a little, so the search starts
// at the chain's last end and gallops away from it, then bisects.
std::size_t OrderIndex::reaching_prefix(std::size_t chain, const opnode* x) const {
  const std::size_t first = chainStart_[chain];
  const std::size_t last = chain_end(chain);
  const std::size_t hint = std::clamp(ends_[chain], first, last);
  const auto reaching = [&](std::size_t place) { return reaches_from(place, x); };
  std::size_t lo = hint;
  std::size_t hi = hint;
  if (hint > first && !reaching(hint - 1)) {
    std::size_t step = 1;
    hi = hint - 1;
    while (hi - first >= step && !reaching(hi - step)) {
      hi -= step;
      step *= 2;
    }
    lo = hi - first >= step ? hi - step + 1 : first;
  } else if (hint < last && reaching(hint)) {
    std::size_t step = 1;
    lo = hint + 1;
    while (last - lo >= step && reaching(lo + step - 1)) {
      lo += step;
      step *= 2;
    }
    hi = std::min(lo + step - 1, last);
  }
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (reaching(mid)) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  const std::size_t own = place_[x->id];
  return own >= first && own < last ? std::max(lo, own + 1) : lo;
}

std::size_t OrderIndex::first_at(std::size_t chain, int_t seq) const {
  const auto begin = seqs_.begin() + static_cast<std::ptrdiff_t>(chainStart_[chain]);
  const auto end = seqs_.begin() + static_cast<std::ptrdiff_t>(chain_end(chain));
  return static_cast<std::size_t>(std::lower_bound(begin, end, seq) - seqs_.begin());
}

// Every node reaching x, and x, gains y and all y reaches. When y reaches
// x already, the arc closes a cycle. A node that reaches x reaches all x
// reaches, so its row is nowhere above x's: it can change only in the
// entries where what is carried lies below x's row, and only those are
// lowered.
void OrderIndex::add_arc(const opnode* x, const opnode* y) {
  if (reaches(x, y)) return;
  ++version_;
  const bool closes = reaches(y, x);
  // x and y lie in one group, as every arc joins two accesses to one
  // address when the rows are grouped.
  std::copy_n(row(shared(place_[y->id])), rowWidth_, carried_.begin());
  const std::size_t ySlot = slot_of(static_cast<std::size_t>(chain_of(y)));
  carried_[ySlot] = std::min(carried_[ySlot], y->seq_num);
  collect_lowered(row(shared(place_[x->id])));
  // The members that reach x form a prefix of each chain, empty when the
  // first member does not reach x (x's own chain aside, which holds x), and
  // in the chains of other groups.
  const int_t* firstReach = first_rows_into(x);
  const auto chainOfX = static_cast<std::size_t>(chain_of(x));
  const std::size_t group = group_of_place(place_[x->id]);
  for (std::size_t slot = 0; slot < chainSlots_; ++slot) {
    const std::size_t chain = chain_at(group, slot);
    if (firstReach != nullptr && firstReach[slot] > x->seq_num && chain != chainOfX) {
      ends_[chain] = chainStart_[chain];
      continue;
    }
    ends_[chain] = reaching_prefix(chain, x);
    lower_rows(chainStart_[chain], ends_[chain]);
  }
  // Joined sets share rows, which the first rows by column do not follow.
  if (closes) firstRowsKept_ = false;
  if (closes) join_cycle(x);
  cyclic_ = cyclic_ || closes;
}

// Rows never rise along a chain, so a row that holds everything carried
// holds for every member before it too. A set lowered already through
// another chain is passed over.
void OrderIndex::lower_rows(std::size_t begin, std::size_t end) {
  while (end > begin) {
    const std::size_t set = shared(end - 1);
    if (changed_[set] != version_) {
      if (!lower(set)) return;
      changed_[set] = version_;
    }
    end = run_start(end - 1);
  }
}

// The entries where what is carried lies below x's row: the processors'
// first, then the chains' where neither x's row nor the carried processor
// entry holds them already.
void OrderIndex::collect_lowered(const int_t* reachedFromX) {
  lowered_.clear();
  for (std::size_t s = chainSlots_; s < rowWidth_; ++s) {
    if (carried_[s] < reachedFromX[s]) lowered_.push_back(s);
  }
  for (std::size_t s = 0; s < chainSlots_; ++s) {
    if (carried_[s] >= reachedFromX[s]) continue;
    // Processor entries exist only where a chain's slot is the chain itself.
    const std::size_t all = processorSlot_[s];
    if (all == kNoSlot || (carried_[s] < reachedFromX[all] && carried_[s] < carried_[all]))
      lowered_.push_back(s);
  }
}

// A chain entry is lowered only where its processor's entry, lowered first,
// does not hold what is carried.
bool OrderIndex::lower(std::size_t place) {
  int_t* entries = row(place);
  const int_t firstOf = firstRowsKept_ ? firstOf_[place] : -1;
  bool changed = false;
  for (const std::size_t s : lowered_) {
    if (carried_[s] >= entries[s]) continue;
    if (s < chainSlots_ && processorSlot_[s] != kNoSlot &&
        carried_[s] >= entries[processorSlot_[s]])
      continue;
    entries[s] = carried_[s];
    if (firstOf >= 0) note_first_row(static_cast<std::size_t>(firstOf), s, carried_[s]);
    changed = true;
  }
  return changed;
}

// In each chain, the members reached from y, or y, start where the row
// carried from y says; those that reach x, or x, end where the prefix
// ended. Every set met there lies on the new cycle whole. x's row holds
// what the whole cycle reaches now.
void OrderIndex::join_cycle(const opnode* x) {
  const std::size_t keep = shared(place_[x->id]);
  const std::size_t group = group_of_place(place_[x->id]);
  for (std::size_t slot = 0; slot < chainSlots_; ++slot) {
    const std::size_t chain = chain_at(group, slot);
    const std::size_t all = processorSlot_[chain];
    const std::size_t from =
        first_at(chain, all == kNoSlot ? carried_[slot] : std::min(carried_[slot], carried_[all]));
    for (std::size_t end = ends_[chain]; end > from;) {
      const std::size_t start = run_start(end - 1);
      const std::size_t set = shared(start);
      if (set != keep) {
        set_[set] = keep;
        changed_[keep] = std::max(changed_[keep], changed_[set]);
      }
      run_[start] = from;
      end = start;
    }
  }
}

std::size_t OrderIndex::shared(std::size_t place) const {
  while (set_[place] != place) {
    set_[place] = set_[set_[place]];
    place = set_[place];
  }
  return place;
}

std::size_t OrderIndex::run_start(std::size_t place) const {
  while (run_[place] != place) {
    run_[place] = run_[run_[place]];
    place = run_[place];
  }
  return place;
}
