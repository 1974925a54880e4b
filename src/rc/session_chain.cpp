#include "rc/session_chain.h"

#include "derive/program_order.h"

opnode* free_acquire(int_t q, int_t from, const NodeMarks& visited) {
  return find_acquire_from(q, from, [&visited](const opnode* y) { return !visited.test(y); });
}

opnode* first_chain_start() {
  for (int_t q = 0; q < state->NPROCESSOR; ++q) {
    opnode* start = find_acquire_from(q, 0, [](const opnode*) { return true; });
    if (start != nullptr) return start;
  }
  return nullptr;
}

opnode* Candidates::next(const NodeMarks& visited) {
  while (offset_ < state->NPROCESSOR) {
    const int_t d = offset_++;
    const int_t q = (release_->proc_num + d) % state->NPROCESSOR;
    opnode* c = free_acquire(q, d == 0 ? release_->seq_num + 1 : 0, visited);
    if (c != nullptr) return c;
  }
  return nullptr;
}

opnode* open_session(opnode* u, NodeMarks& visited) {
  visited.set(u);
  opnode* release = findRelease(u);
  visited.set(release);
  return release;
}
