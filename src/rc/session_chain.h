// The chain of lock sessions that release consistency asks for: the sessions
// taken one after another, each joined to the next by an arc (RO) from its
// release to the next one's acquire.
//
// A session lies on the chain while its acquire and its release are both
// marked; marks are set and cleared in pairs.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// The first acquire of processor q from index `from` on for which `take`
// holds, or null.
template <typename Take>
opnode* find_acquire_from(int_t q, int_t from, Take take) {
  for (int_t s = from; s < state->procOpNum[q]; ++s) {
    opnode* y = node_at(q, s);
    if (is_acquire(y) && take(y)) return y;
  }
  return nullptr;
}

// The first unmarked acquire of processor q from index `from` on, or null.
opnode* free_acquire(int_t q, int_t from, const NodeMarks& visited);

// The first acquire of the lowest-numbered processor that has one, or null.
opnode* first_chain_start();

// The sessions a chain standing at `release` may go on with, one per
// processor: the release's own processor first (its next unmarked acquire),
// then the other processors in rotation (each one's first unmarked acquire).
class Candidates {
 public:
  explicit Candidates(const opnode* release) : release_(release) {}

  // The next candidate under the current marks, or null when none is left.
  opnode* next(const NodeMarks& visited);

 private:
  const opnode* release_;
  int_t offset_ = 0;
};

// Puts acquire u's session on the chain; returns its release.
opnode* open_session(opnode* u, NodeMarks& visited);
