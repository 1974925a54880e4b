// A small seeded generator whose output is the same on every platform and
// library version, so that one seed always yields the same files.
#pragma once

#include <cstdint>

namespace qirn_gen {

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}

  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, bound), bound > 0; rejection removes the modulo bias.
  uint64_t below(uint64_t bound) {
    const uint64_t threshold = (0 - bound) % bound;
    uint64_t r = next();
    while (r < threshold) r = next();
    return r % bound;
  }

  int32_t below(int32_t bound) { return static_cast<int32_t>(below(static_cast<uint64_t>(bound))); }

  bool percent(int32_t chance) { return below(100) < chance; }

 private:
  uint64_t state_;
};

}  // namespace qirn_gen
