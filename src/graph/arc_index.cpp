#include "graph/arc_index.h"

#include <utility>

std::size_t ArcIndex::home(std::uint64_t key) const {
  return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ULL) >> shift_);
}

// The slot holding `key`, or the empty slot where it would go.
std::size_t ArcIndex::probe(std::uint64_t key) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t at = home(key);
  while (slots_[at].key != key && slots_[at].key != kEmpty) at = (at + 1) & mask;
  return at;
}

oparc* ArcIndex::find(std::uint64_t key) const {
  if (slots_.empty()) return nullptr;
  const Slot& slot = slots_[probe(key)];
  return slot.key == key ? slot.cell : nullptr;
}

std::pair<oparc**, bool> ArcIndex::try_emplace(std::uint64_t key) {
  // At most three quarters full.
  if (4 * (used_ + 1) > 3 * slots_.size()) grow();
  Slot& slot = slots_[probe(key)];
  if (slot.key == key) return {&slot.cell, false};
  slot = Slot{key, nullptr};
  ++used_;
  return {&slot.cell, true};
}

// Backward-shift deletion: every later entry of the run whose home lies
// cyclically at or before the hole moves into it, so each key stays
// reachable from its home without a gap.
oparc* ArcIndex::erase(std::uint64_t key) {
  if (slots_.empty()) return nullptr;
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = probe(key);
  if (slots_[hole].key != key) return nullptr;
  oparc* cell = slots_[hole].cell;
  for (std::size_t next = (hole + 1) & mask; slots_[next].key != kEmpty; next = (next + 1) & mask) {
    const std::size_t wanted = home(slots_[next].key);
    if (((next - wanted) & mask) >= ((next - hole) & mask)) {
      slots_[hole] = slots_[next];
      hole = next;
    }
  }
  slots_[hole].key = kEmpty;
  --used_;
  return cell;
}

void ArcIndex::grow() {
  std::vector<Slot> old = std::move(slots_);
  const std::size_t size = old.empty() ? 1024 : 2 * old.size();
  slots_.assign(size, Slot{kEmpty, nullptr});
  shift_ = 64;
  for (std::size_t s = size; s > 1; s >>= 1) --shift_;
  for (const Slot& slot : old) {
    if (slot.key != kEmpty) slots_[probe(slot.key)] = slot;
  }
}
