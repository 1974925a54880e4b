// The inferred arcs of an operation in the order the overwrite inference
// inserted them.
//
// A rule inserts an arc at the first turn of its operation at which its test
// holds. Arcs are listed by pass, then by the turn that inserted them
// (processor-then-sequence order), then within that turn by processor and
// sequence number of the target; an arc taken again later is not inserted
// again. A load of the initial value gets every store to its address at its
// first turn; a load that read w (over a write-to arc, or later on w's own
// processor) gets, at each of w's
// turns, the stores newly reached from w; a store v gets v -> w at the first
// turn, after v reaches it, of a load that read w.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "baseline/arrival_times.h"
#include "baseline/overwrite_inference.h"
#include "qirn.h"

class InsertedArcs {
 public:
  virtual ~InsertedArcs() = default;

  // Target ids, oldest first.
  std::vector<int_t> of(const opnode* u);

 protected:
  explicit InsertedArcs(const OverwriteInference& inference);

  // The arcs of a store.
  virtual std::vector<int_t> store_arcs(const opnode* v) = 0;
  // The arcs of a load that read w over a write-to arc or later on w's own
  // processor.
  virtual std::vector<int_t> load_arcs(const opnode* w) = 0;

  // `taking(k, r)`: the pass in which load r, the k-th of v's address in
  // processor-then-sequence order, took v by its rule; or 0.
  template <typename Taking>
  std::vector<int_t> store_arcs_by(const opnode* v, Taking taking);
  // The stores to w's address in processor-then-sequence order but w, by
  // the pass in `passes_` (one per store; 0 for never taken).
  std::vector<int_t> by_pass(const opnode* w) const;
  // The loads of an address in processor-then-sequence order.
  const std::vector<const opnode*>& loads_of(int_t addr) const;

  const OverwriteInference& inference_;
  std::vector<std::int64_t> passes_;  // by address rank

 private:
  // The loads of one address in processor-then-sequence order and, by
  // load, the address rank of the store it read (-1 for the initial value).
  struct Loads {
    std::vector<const opnode*> loads;
    std::vector<int_t> sources;
  };

  std::unordered_map<int_t, Loads> loadsOfAddr_;
  std::vector<std::int64_t> first_;  // scratch, by address rank
};

// Rebuilt from the links: a test holds from the earliest step at which its
// source reaches its target.
class ArcsFromLinks : public InsertedArcs {
 public:
  explicit ArcsFromLinks(const OverwriteInference& inference);

 private:
  std::vector<int_t> store_arcs(const opnode* v) override;
  std::vector<int_t> load_arcs(const opnode* w) override;
  // The first pass whose turn of u comes after the step, or 0 for kNever.
  std::int64_t pass_after(std::int64_t step, const opnode* u) const;

  ArrivalTimes times_;
};

// Rebuilt from the logs of an inference that kept them.
class ArcsFromLogs : public InsertedArcs {
 public:
  explicit ArcsFromLogs(const OverwriteInference& inference);

 private:
  std::vector<int_t> store_arcs(const opnode* v) override;
  std::vector<int_t> load_arcs(const opnode* w) override;

  // The prefix log sorted once by slot, so that a store's arcs read the
  // entries of its address's loads in one sweep: the loads are numbered
  // address by address, each address's in processor-then-sequence order,
  // and slot p * loadCount_ + s holds, oldest first, the entries of load s
  // for processor p. A counting sort over the log in the order it was
  // written keeps each slot's entries in that order.
  struct Bound {
    int_t pass;
    int_t bound;
  };
  void number_loads();
  void sort_prefix_log();

  std::unordered_map<int_t, std::size_t> firstLoadOfAddr_;
  std::vector<std::size_t> loadNumber_;  // by node id
  std::size_t loadCount_ = 0;
  std::vector<int_t> slotStart_;  // per slot, plus one end entry
  std::vector<Bound> bounds_;
  std::vector<const HandledLog::Entry*> entries_;  // scratch
};
