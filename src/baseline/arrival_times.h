// For one source operation, the earliest step of the overwrite inference
// after which it reaches each load and store.
//
// What is reached after a step is what the arcs in place at the start and
// the inference's links up to that step reach, so the source reaches a node
// after step s exactly when some path to it uses no link later than s: the
// earliest such step is the least, over the paths, of the latest link on
// each. The search takes the links in step order and, whenever one leads
// from a reached node to an unreached one, reaches from there everything
// the arcs in place and the links taken so far lead to, at that link's step.
// A node reached means the rest of its chain is reached no later, so each
// chain is reached from a frontier that only moves towards its start, and
// every load and store is handled once.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "baseline/overwrite_inference.h"
#include "qirn.h"

class ArrivalTimes {
 public:
  static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();

  explicit ArrivalTimes(const OverwriteInference& inference);

  // By the index's places: the earliest step after which the source reaches
  // the member, or kNever.
  const std::vector<std::int64_t>& from(const opnode* source);

 private:
  // Whether the links from the member are followed: it is the source or
  // reached.
  bool leads(std::size_t place) const { return place == origin_ || arrival_[place] != kNever; }
  // Reaches the member and the rest of its chain, if not yet reached.
  void reach(std::size_t place);
  // Follows the arcs of the members reached, those in place at the start
  // and the links up to the current step.
  void spread();
  void follow(std::size_t place);

  const OverwriteInference& inference_;
  const OrderIndex& index_;
  std::vector<std::size_t> linkStart_;  // by place of the source, into `linksFrom_`
  std::vector<const OverwriteInference::Link*> linksFrom_;
  std::vector<std::int64_t> arrival_;
  std::vector<std::size_t> frontier_;  // by chain: the first place reached
  std::vector<std::size_t> pending_;
  std::size_t origin_ = 0;
  std::int64_t step_ = 0;
};
