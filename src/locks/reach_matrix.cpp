#include "locks/reach_matrix.h"

#include <algorithm>
#include <bit>

ReachMatrix::ReachMatrix(int_t nodes)
    : nodes_(nodes),
      words_((static_cast<std::size_t>(nodes) + 63) / 64),
      bits_(words_ * static_cast<std::size_t>(nodes), 0) {}

void ReachMatrix::merge(int_t into, int_t from) {
  std::uint64_t* target = row(into);
  const std::uint64_t* source = row(from);
  for (std::size_t w = 0; w < words_; ++w) target[w] |= source[w];
}

void ReachMatrix::take_successor(int_t from, int_t to) {
  if (reaches(from, to)) return;
  set(from, to);
  merge(from, to);
}

void ReachMatrix::clear_row(int_t from) {
  std::fill_n(row(from), words_, 0);
}

void ReachMatrix::take_first_successor(int_t from, int_t to) {
  std::copy_n(row(to), words_, row(from));
  set(from, to);
}

namespace {

// Rows are counted often enough to matter: where the processor has a
// population-count instruction, a second copy of this function uses it,
// chosen when the program loads. Under ThreadSanitizer there is one copy: the
// choosing code runs before the sanitizer's runtime and would be stopped.
#if defined(__SANITIZE_THREAD__)
#define QIRN_POPCOUNT_COPIES
#else
#define QIRN_POPCOUNT_COPIES [[gnu::target_clones("popcnt", "default")]]
#endif

QIRN_POPCOUNT_COPIES int_t count_bits(const std::uint64_t* bits, std::size_t words) {
  int_t count = 0;
  for (std::size_t w = 0; w < words; ++w) count += std::popcount(bits[w]);
  return count;
}

}  // namespace

int_t ReachMatrix::reached_count(int_t node) const {
  return count_bits(row(node), words_);
}
