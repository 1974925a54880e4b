// Baseline SC and PC: the inference of overwrite orders, run on the closure
// of the order alone.
//
// The inference passes over the operations in processor-then-sequence order
// until a pass inserts nothing. A load r that read store w makes every store
// that reaches r overwritten by w (v -> w); a store w is overwritten after
// every load r that read it, over a write-to arc or later on w's own
// processor, by every store w reaches (r -> v); a load of the initial value precedes every store to
// its address.
//
// Within one processor the stores a rule takes in one step form a range in
// which the first reaches the rest, so one arc per processor and step gives
// the closure that all of them give, after every step. An arc whose source
// already reaches its target changes nothing at any later step either, so
// the closure after any step is that of the arcs in place at the start and
// the arcs that changed it up to then. Those links are kept with the step
// that inserted them. The arcs themselves are not kept; when a cycle is
// printed they are rebuilt either from the links or, when the inference ran
// with logs, from the logs of the pass in which each rule took each range of
// stores.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "baseline/order_index.h"
#include "qirn.h"

// The stores of every processor by address, in sequence order.
class StoresByAddr {
 public:
  struct Group {
    std::size_t processor;
    std::vector<opnode*> stores;
    std::vector<std::size_t> places;  // by store, its place in the index
    std::vector<int_t> seqs;          // by store, its sequence number
  };
  using Groups = std::vector<Group>;

  explicit StoresByAddr(const OrderIndex& index);

  // The groups of the processors that store to `addr`, in processor order.
  const Groups& of(int_t addr) const {
    const auto groups = byAddr_.find(addr);
    return groups == byAddr_.end() ? none_ : groups->second;
  }

  // The stores to `addr` of all processors, in processor-then-sequence order.
  const std::vector<opnode*>& all(int_t addr) const {
    const auto stores = allOfAddr_.find(addr);
    return stores == allOfAddr_.end() ? noStores_ : stores->second;
  }

  // The place of a store in its processor's group, and among all stores to
  // its address.
  int_t rank(const opnode* store) const { return rank_[store->id]; }
  int_t address_rank(const opnode* store) const { return addressRank_[store->id]; }

 private:
  std::unordered_map<int_t, Groups> byAddr_;
  std::unordered_map<int_t, std::vector<opnode*>> allOfAddr_;
  Groups none_;
  std::vector<opnode*> noStores_;
  std::vector<int_t> rank_;
  std::vector<int_t> addressRank_;
};

// Entries under keys that name an operation and a processor, each entry
// linked to the one added before it under the same key.
class HandledLog {
 public:
  struct Entry {
    int_t pass;
    int_t bound;
    int_t before;  // the entry added before under the same key, or -1
  };

  static std::size_t key(const opnode* u, std::size_t p) {
    return static_cast<std::size_t>(u->id) * state->graph.size() + p;
  }

  HandledLog()
      : newest_(static_cast<std::size_t>(state->nodeCount + 1) * state->graph.size(), -1) {}

  void add(std::size_t key, int_t pass, int_t bound) {
    entries_.push_back({pass, bound, newest_[key]});
    keys_.push_back(key);
    newest_[key] = static_cast<int_t>(entries_.size()) - 1;
  }
  // The newest entry under the key, or null.
  const Entry* newest(std::size_t key) const { return at(newest_[key]); }
  const Entry* before(const Entry& entry) const { return at(entry.before); }
  // Every entry, and its key, in the order added.
  const std::vector<Entry>& entries() const { return entries_; }
  const std::vector<std::size_t>& keys() const { return keys_; }

 private:
  const Entry* at(int_t index) const { return index < 0 ? nullptr : &entries_[index]; }

  std::vector<Entry> entries_;
  std::vector<std::size_t> keys_;  // by entry
  std::vector<int_t> newest_;      // by key
};

// Steps are numbered by pass and turn: the turn of the operation at place t
// of the processor-then-sequence order in pass k is k * turns + t; the arcs
// in place before the first pass have step 0.
class OverwriteInference {
 public:
  using Group = StoresByAddr::Group;

  // An inserted arc that changed what is reached, by the index's places of
  // its ends, and its step.
  struct Link {
    std::size_t from;
    std::size_t to;
    std::int64_t step;
  };

  // Needs the write-to arcs in place. With logs, every step that takes
  // stores is logged; without, the steps that cannot change what is reached
  // are passed over. Without `ownReaders`, a store is overwritten after the
  // loads that read it over a write-to arc only, as SC and PC once had it.
  explicit OverwriteInference(bool logged, bool ownReaders = true);

  // Whether the later loads of a store's own processor that read it count
  // as its readers.
  bool takes_own_readers() const { return ownReaders_; }

  // Passes until one changes nothing reached. The passes after it would
  // test what this one tested and insert nothing new.
  void run() {
    while (pass()) {
    }
  }
  // Passes until one changes nothing reached or a cycle closes: enough to
  // tell whether the run closes one, as later passes only add arcs.
  void run_until_cycle() {
    while (!index_.cyclic() && pass()) {
    }
  }

  const OrderIndex& index() const { return index_; }
  const StoresByAddr& stores() const { return stores_; }
  const std::vector<Link>& links() const { return links_; }
  // By load and processor: after each pass that took more of the
  // processor's stores before the load, how many of them are taken.
  const HandledLog& prefixes() const { return *prefixes_; }
  // By store and processor: after each pass that took more of the
  // processor's stores after the store, the first of them taken.
  const HandledLog& suffixes() const { return *suffixes_; }
  std::int64_t turns() const { return turns_; }
  std::int64_t turn_of(const opnode* u) const { return turn_[u->id]; }
  // The store a load read, or the sentinel.
  opnode* source_of(const opnode* load) const { return sourceOf_[load->id]; }

 private:
  bool pass();
  void read_initial(opnode* r);
  void read_by(opnode* r);
  void overwritten_after(opnode* w);
  void add_own_readers(const opnode* w);
  void take_prefix(const Group& group, opnode* w, opnode* r);
  void take_suffix(const Group& group, opnode* w);
  bool may_take(const Group& group, int_t done, const opnode* w, const opnode* r) const;
  int_t prefix_end(const Group& group, int_t done, const opnode* w, const opnode* r) const;
  void link(const opnode* x, const opnode* y);

  OrderIndex index_;
  StoresByAddr stores_;
  std::vector<Link> links_;
  std::optional<HandledLog> prefixes_;
  std::optional<HandledLog> suffixes_;
  std::vector<int_t> prefixDone_;   // by load and processor
  std::vector<int_t> suffixStart_;  // by store and processor
  std::vector<opnode*> readers_;
  // By store id: the index version when the store's last turn ended.
  std::vector<std::int64_t> seen_;
  // By load id: the store it read (or the sentinel), and the groups of its
  // address.
  std::vector<opnode*> sourceOf_;
  std::vector<const StoresByAddr::Groups*> groupsOf_;
  // By load id: whether the load reaches the store it read.
  std::vector<char> inCycle_;
  std::vector<std::int64_t> turn_;  // by node id
  std::int64_t turns_ = 0;
  std::int64_t step_ = 0;
  int_t pass_ = 0;
  bool ownReaders_;
};
