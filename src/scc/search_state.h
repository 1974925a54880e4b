// State of the scope-consistency frontier search.
//
// The search builds a global order location by location. Location numbers
// 0 .. addrColumns-1 are the columns of the addresses (their in-session stores
// are ordered), and addrColumns .. addrColumns+lockColumns-1 those of the locks
// (their sessions are ordered, each represented by its acquire). Columns keep
// the order of the numbers, so the search meets locations in the same order
// as it would over every number up to the largest. Processor p's entry for location number a sits
// at frontier location p * num + a and holds the sequence number of the
// operation p placed there last, -1 when nothing is placed.
#pragma once

#include <vector>

#include "graph/marks.h"
#include "qirn.h"

// The frontier and the marks of the placed operations. One instance lives for
// the run; after a complete order is found it still describes that order.
struct FrontierSearch {
  std::vector<int_t> frontier;
  NodeMarks visited;
};

FrontierSearch& frontier_search();

// The number of location numbers: addresses plus locks.
inline int_t location_count() {
  return state->addrColumns + state->lockColumns;
}

// Allocates and resets the frontier, `lastop`, `lastOpOfProc`, `lastOpLoc` and
// the placed marks for a search over `size` frontier locations.
void init_search_state(int_t size);

// Fills `syncInP` with sn + 1 entries per processor: entry s is the first
// acquire of the processor whose scan number is s.
void init_sync_in_p(int_t sn);

// The first acquire of processor p in program order, or null.
opnode* first_acquire(int_t p);

// The release that closes the session of acquire sa, and the acquire that
// opened the session of release sr. Sessions that nest leave one of them
// unpaired; both stop the run then.
opnode* session_release(const opnode* sa);
opnode* session_acquire(const opnode* sr);
