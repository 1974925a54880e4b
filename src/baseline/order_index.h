// Exact "ordered before" among the loads and stores for baseline SC, PC, TSO,
// PSO and WMO, without stored program-order arcs.
//
// The loads and stores of a processor form chains in which every operation
// precedes the next: under SC one chain of all of them; under PC one of its
// loads and one of its stores (a load precedes every later operation, and
// every operation precedes every later store). So what a node reaches of one
// chain is a suffix of it, and what reaches a node of one chain is a prefix.
// Every load and store has a row: per chain, the sequence number of the
// first member it reaches.
//
// Along a chain every member reaches the next, so it reaches all the next
// one reaches: rows never rise from one member to the next, and the members
// of a chain that reach a given node form a prefix of it, found by
// bisection. An added arc x -> y gives what y reaches, and y, to every
// member of each chain's prefix that reaches x, or is x; the rows that
// change are a tail of that prefix, found by walking back from its end until
// a row holds all of it already. Row changes are stamped, so a caller can
// tell whether what a node reaches may have changed since it last looked.
//
// Under WMO without fences and lock operations, nothing orders accesses to
// different addresses: every arc joins two accesses to one address. A member
// then reaches only chains of its own address, and its row holds just those
// (a load and a store chain per processor), which makes the rows as narrow as
// under PC however many addresses there are.
//
// With fences, lock operations or times, a WMO member reaches all of its
// processor's chains from some point on: the next fence or lock operation,
// the first operation a load's times order after it, or where a member it
// reaches does. Through them it reaches all of other processors' chains from
// some point on. Its row then holds, after one entry per chain,
// one per processor: the sequence number from which it reaches every member
// of that processor. What it reaches of a chain is the smaller of the chain's
// entry and its processor's, and an arc that passes on only whole processors
// lowers a few entries instead of all of theirs.
//
// The members of one cycle reach the same nodes, so they share one row.
// Those of them in one chain lie together: a member between two of them is
// reached from the first and reaches the second. When an arc x -> y closes
// a cycle, the members that reach x and are reached from y (or are x or y)
// join one set, in each chain a run of members, and the walk back passes a
// run at once.
#pragma once

#include <cstdint>
#include <limits>
#include <unordered_map>
#include <vector>

#include "qirn.h"

class OrderIndex {
 public:
  static constexpr int_t kNone = std::numeric_limits<int_t>::max();

  // The closure of program order alone.
  OrderIndex();

  // How many chains each processor has: one of all its loads and stores
  // (SC); one of its loads and one of its stores (PC and TSO); one of its
  // loads and one of its stores to each address (PSO), by address column; or
  // one of its loads to each address and one of its stores to each (WMO).
  static int_t chains_per_processor() {
    if (state->MC == PSO) return 1 + state->addrColumns;
    if (state->MC == WMO) return 2 * state->addrColumns;
    return state->MC == PC || state->MC == TSO ? 2 : 1;
  }
  // The chain of a load or store.
  static int_t chain_of(const opnode* v) {
    if (v->optype == STORE) return store_chain(v->proc_num, v->column);
    const int_t base = chains_per_processor() * v->proc_num;
    return state->MC == WMO ? base + v->column : base;
  }
  // The chain holding processor p's stores to the address of column `column`.
  static int_t store_chain(int_t p, int_t column) {
    const int_t base = chains_per_processor() * p;
    if (state->MC == SC) return base;
    if (state->MC == WMO) return base + state->addrColumns + column;
    return base + (state->MC == PSO ? 1 + column : 1);
  }
  // 1 when a path of at least one arc leads from u to v; both are loads or
  // stores.
  bool reaches(const opnode* u, const opnode* v) const { return reaches_from(place_[u->id], v); }
  // The sequence number of the first member of the chain that u reaches,
  // or kNone.
  int_t first_reached(const opnode* u, int_t chain) const {
    return entry(shared(place_[u->id]), static_cast<std::size_t>(chain));
  }
  // Whether the member of the given place reaches v.
  bool reaches_from(std::size_t place, const opnode* v) const {
    return entry(shared(place), static_cast<std::size_t>(chain_of(v))) <= v->seq_num;
  }
  // The place of a load or store among all chains' members.
  std::size_t place(const opnode* v) const { return place_[v->id]; }
  std::size_t places() const { return chainStart_.back(); }
  std::size_t chains() const { return width_; }
  std::size_t chain_end(std::size_t chain) const { return chainStart_[chain + 1]; }
  // The load or store at a place.
  opnode* member(std::size_t place) const { return members_[place]; }
  // The place of the first member of the chain at or after the sequence
  // number (the chain's end when none is).
  std::size_t first_at(std::size_t chain, int_t seq) const;
  // Under PC, TSO and PSO, a sequence number from which on the member at
  // the place reaches, by program order alone, every member of the other
  // chains of its processor (kNone when none is); under SC, where one chain
  // holds the processor, kNone. Under WMO, where the member opens to its
  // processor (see close_weak_order), it also reaches the other chain of its
  // address from `partner_from` on.
  int_t across(std::size_t place) const { return across_[place]; }
  int_t partner_from(std::size_t place) const { return partnerFrom_[place]; }
  // Under WMO, the chain of the member's address that is not its own.
  static int_t partner_chain(const opnode* v) {
    const int_t base = chains_per_processor() * v->proc_num;
    return base + (v->optype == STORE ? 0 : state->addrColumns) + v->column;
  }

  // Under WMO, whether the run has no fences, lock operations or times, so
  // that every arc joins two accesses to one address and rows hold the
  // chains of one address only.
  static bool weak_without_barriers();

  // Takes the arc x -> y between two loads or stores into account.
  void add_arc(const opnode* x, const opnode* y);

  // How many added arcs changed what some node reaches.
  std::int64_t version() const { return version_; }
  // Whether some added arc closed a cycle (program order alone closes none).
  bool cyclic() const { return cyclic_; }
  // A version no earlier than the last at which what u (a load or store)
  // reaches changed; joining a cycle may stamp it without a change.
  std::int64_t changed_at(const opnode* u) const { return changed_[shared(place_[u->id])]; }

 private:
  int_t* row(std::size_t place) { return &rows_[place * rowWidth_]; }
  const int_t* row(std::size_t place) const { return &rows_[place * rowWidth_]; }
  // The address whose chains a member's row holds; 0 for all chains.
  std::size_t group_of_place(std::size_t place) const {
    return grouped_ ? static_cast<std::size_t>(members_[place]->column) : 0;
  }
  std::size_t group_of_chain(std::size_t chain) const { return chainGroup_[chain]; }
  // Where a chain's entry lies in a row of its group, and the reverse.
  std::size_t slot_of(std::size_t chain) const { return chainSlot_[chain]; }
  std::size_t chain_at(std::size_t group, std::size_t slot) const;
  void place_chains_in_groups();
  void note_first_row(std::size_t first, std::size_t slot, int_t value);
  void collect_lowered(const int_t* reachedFromX);
  // What the member at the place reaches of the chain.
  int_t entry(std::size_t place, std::size_t chain) const {
    if (group_of_chain(chain) != group_of_place(place)) return kNone;
    const int_t* entries = row(place);
    const std::size_t all = processorSlot_[chain];
    const int_t own = entries[slot_of(chain)];
    return all == kNoSlot ? own : std::min(own, entries[all]);
  }
  // Sets the entry, which must be kNone outside the member's group.
  void set_entry(std::size_t place, std::size_t chain, int_t value);
  void place_operations();
  void close_program_order(int_t p);
  static int_t along_address(const opnode& u, const std::unordered_map<int_t, int_t>& nextOfAddr,
                             const std::vector<int_t>& loadReached);
  static int_t first_not_reading(const opnode& w, const std::vector<int_t>& loadsAhead);
  void place_rows(const opnode& u, int_t loadReached, int_t nextLoad, int_t nextStore);
  void close_per_address_order(int_t p);
  void close_weak_order(int_t p);
  static int_t stamped_from(const opnode& u);
  void place_weak_row(const opnode& u, int_t opened, int_t ownNext, int_t partnerReached,
                      int_t partnerFirst);
  void place_rows_from(const opnode& u, int_t from, int_t nextOfOwnChain);
  // How many members of the chain, from its start, reach x or are x.
  std::size_t reaching_prefix(std::size_t chain, const opnode* x) const;
  void keep_first_rows();
  // By chain, what its first member reaches of x's chain, when kept.
  const int_t* first_rows_into(const opnode* x) const;
  // Lowers the rows of the chain's members before `end` to what is carried.
  void lower_rows(std::size_t begin, std::size_t end);
  // Lowers the row to what is carried in the entries that may change;
  // answers whether it changed.
  bool lower(std::size_t place);
  // Joins the members that reach x and are reached from y into x's set.
  void join_cycle(const opnode* x);
  // The place whose row the member's set shares.
  std::size_t shared(std::size_t place) const;
  // The first member of the member's run.
  std::size_t run_start(std::size_t place) const;

  std::size_t width_;                    // one per chain
  bool grouped_;                         // rows hold only the chains of one address
  std::size_t chainSlots_;               // entries per row for single chains
  std::size_t processorSlots_;           // entries after those for whole processors
  std::size_t rowWidth_;                 // entries per row
  std::vector<std::size_t> chainGroup_;  // by chain
  std::vector<std::size_t> chainSlot_;   // by chain
  static constexpr std::size_t kNoSlot = std::numeric_limits<std::size_t>::max();
  std::vector<std::size_t> processorSlot_;  // by chain: the entry of its processor, or kNoSlot
  std::vector<std::size_t> chainStart_;     // by chain, its first place; one more at the end
  std::vector<std::size_t> place_;          // by node id; members in chain order, chain by chain
  std::vector<opnode*> members_;            // by place
  std::vector<int_t> across_;               // by place
  std::vector<int_t> partnerFrom_;          // by place; WMO only
  std::vector<int_t> seqs_;                 // by place, the member's sequence number
  std::vector<int_t> rows_;                 // by place, its row; read at the set's place
  std::vector<std::int64_t> changed_;       // by place; read at the set's place
  // By place: a member of the same set nearer to the one whose row it
  // shares, and an earlier member of the same run (each itself at the end).
  mutable std::vector<std::size_t> set_;
  mutable std::vector<std::size_t> run_;
  std::vector<int_t> carried_;
  std::vector<std::size_t> lowered_;  // the entries where carried_ lies below x's row
  std::vector<std::size_t> ends_;     // by chain: the prefix that reaches x
  // While no cycle has closed and the chains are few enough, each chain's
  // first row stored by column: entry d * rowWidth_ + slot_of(c) is what the
  // first member of chain c reaches of chain d, for d of c's group (kNone for
  // an empty chain c). It
  // tells at a glance the chains none of whose members reach x.
  bool firstRowsKept_ = false;
  std::vector<int_t> firstRows_;
  std::vector<int_t> firstOf_;  // by place: the chain it starts, or -1
  std::int64_t version_ = 0;
  bool cyclic_ = false;
};
