// The arc store's index: packed (source, target, order) keys to arc cells.
//
// Every arc insertion first asks whether the arc exists, so this lookup is
// on the path of every inference step. Open addressing with linear probing
// keeps a lookup to one or two cache lines; deletion shifts later entries of
// the probe run back, so no tombstones pile up when searches add and remove
// arcs over and over.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct oparc;

class ArcIndex {
 public:
  // The cell under `key`, or null.
  oparc* find(std::uint64_t key) const;
  // The cell slot of `key`, and whether the key was added by this call (its
  // slot then holds null until the caller fills it in).
  std::pair<oparc**, bool> try_emplace(std::uint64_t key);
  // Removes `key`; its cell, or null when it was absent.
  oparc* erase(std::uint64_t key);
  std::size_t size() const { return used_; }

 private:
  struct Slot {
    std::uint64_t key;
    oparc* cell;
  };
  // No arc key has all bits set: node ids stay below 2^29.
  static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};

  std::size_t home(std::uint64_t key) const;
  std::size_t probe(std::uint64_t key) const;
  void grow();

  std::vector<Slot> slots_;
  std::size_t used_ = 0;
  int shift_ = 64;
};
