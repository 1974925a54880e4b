#include "baseline/arrival_times.h"

#include <algorithm>

ArrivalTimes::ArrivalTimes(const OverwriteInference& inference)
    : inference_(inference), index_(inference.index()), linkStart_(index_.places() + 1, 0) {
  const auto& links = inference_.links();
  for (const auto& link : links) ++linkStart_[link.from + 1];
  for (std::size_t p = 1; p < linkStart_.size(); ++p) linkStart_[p] += linkStart_[p - 1];
  linksFrom_.resize(links.size());
  std::vector<std::size_t> next(linkStart_.begin(), linkStart_.end() - 1);
  for (const auto& link : links) linksFrom_[next[link.from]++] = &link;
}

const std::vector<std::int64_t>& ArrivalTimes::from(const opnode* source) {
  arrival_.assign(index_.places(), kNever);
  frontier_.resize(index_.chains());
  for (std::size_t chain = 0; chain < index_.chains(); ++chain)
    frontier_[chain] = index_.chain_end(chain);
  origin_ = index_.place(source);
  step_ = 0;
  follow(origin_);
  const std::size_t next = origin_ + 1;
  if (next < index_.chain_end(OrderIndex::chain_of(source))) reach(next);
  spread();
  for (const auto& link : inference_.links()) {
    if (leads(link.from) && arrival_[link.to] == kNever) {
      step_ = link.step;
      reach(link.to);
      spread();
    }
  }
  return arrival_;
}

void ArrivalTimes::reach(std::size_t place) {
  const auto chain = static_cast<std::size_t>(OrderIndex::chain_of(index_.member(place)));
  for (std::size_t member = place; member < frontier_[chain]; ++member) {
    arrival_[member] = step_;
    pending_.push_back(member);
  }
  frontier_[chain] = std::min(frontier_[chain], place);
}

void ArrivalTimes::spread() {
  while (!pending_.empty()) {
    const std::size_t place = pending_.back();
    pending_.pop_back();
    follow(place);
  }
}

// Under PC, TSO, PSO and WMO a member also reaches, by program order, the
// other chains of its processor from some member on; under WMO also the other
// chain of its address from an earlier one.
void ArrivalTimes::follow(std::size_t place) {
  const opnode* u = index_.member(place);
  const int_t partnerFrom = index_.partner_from(place);
  if (partnerFrom != OrderIndex::kNone) {
    const auto partner = static_cast<std::size_t>(OrderIndex::partner_chain(u));
    const std::size_t first = index_.first_at(partner, partnerFrom);
    if (first < index_.chain_end(partner)) reach(first);
  }
  const int_t across = index_.across(place);
  if (across != OrderIndex::kNone) {
    const auto own = static_cast<std::size_t>(OrderIndex::chain_of(u));
    const auto count = static_cast<std::size_t>(OrderIndex::chains_per_processor());
    const std::size_t base = count * static_cast<std::size_t>(u->proc_num);
    for (std::size_t other = base; other < base + count; ++other) {
      const std::size_t first = index_.first_at(other, across);
      if (other != own && first < index_.chain_end(other)) reach(first);
    }
  }
  for (const oparc* arc = u->pointTo; arc != nullptr; arc = arc->nxtarc)
    reach(index_.place(arc->nptr));
  for (std::size_t k = linkStart_[place]; k < linkStart_[place + 1] && linksFrom_[k]->step <= step_;
       ++k)
    reach(linksFrom_[k]->to);
}
