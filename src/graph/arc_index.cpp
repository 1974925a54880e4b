#include "graph/arc_index.h"

#include <utility>

// Arcs are mostly inserted and looked up for neighbouring sources and
// targets in turn (a processor's program order, the inference sweeping the
// trace). So the home of a key is a region picked by the blocks of 16 ids its
// source and target fall in, and a place within the region picked by the
// rest of the key: keys that are used together share a few pages, while the
// regions of different blocks, and the keys within one region, still spread
// evenly.
std::size_t ArcIndex::home(std::uint64_t key) const {
  constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15ULL;
  constexpr int kRegionBits = 12;
  const std::uint64_t source = key >> 35;
  const std::uint64_t target = (key >> 3) & 0xFFFFFFFFULL;
  const std::uint64_t blocks = ((source >> 4) << 28) ^ (target >> 4);
  const std::uint64_t within = ((source & 15) << 7) | ((target & 15) << 3) | (key & 7);
  const std::uint64_t region = (blocks * kMix) >> shift_;
  const std::uint64_t place = ((within * kMix) >> (64 - kRegionBits));
  return static_cast<std::size_t>((region + place) & (slots_.size() - 1));
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
