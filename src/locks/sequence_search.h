// A direct search for the legal sequence itself: the graph's nodes executed
// one at a time, as a machine with one memory and one holder per lock would,
// each node only after all its predecessors.
//
// Most steps are not choices. A load whose predecessors ran reads the value it
// returned, since its store ran and no other store of its address could run
// while one of that store's loads waited; running it at once never hurts, nor
// does running a release, an issue point, or a store that no load read while
// its address is free (moving such a step to the front of any legal rest
// keeps the rest legal). The stores of an address wait until every load of
// its initial value ran, so the graph need not carry those arcs. The choices
// are the stores that loads read and the acquires: a store holds its address
// until its last load ran, an acquire its lock until its release. A choice
// after which its loads or its whole session run at once is taken without
// branching, by the same argument. An RMW is a load and a store in one step:
// it runs only as the last load of the store it read, and is then a store
// like the others. The others are tried in the order of
// `rank`; every state left without success is remembered (as a 128-bit
// digest of the set of nodes run, which is all a state is), and the search
// backtracks. A choice that leaves a cycle of holders, each waiting for a
// node that the next one keeps from running, is left at once: no holder of
// the cycle can ever let go. Exhausting the states proves that no legal
// sequence exists.
//
// The worst case is exponential in the number of choices, so `budget` bounds
// the nodes run. Measured: a legal 16 x 10,000 run with 4 locks in optimized
// mode needs about 200,000 choices and finds its sequence within 40 runs per
// node. In baseline mode, without the time order, the deadlock check finds
// the sessions' order of legal one-lock runs of 16 x 100 within a few hundred
// choices, and of some of 16 x 150 to 16 x 300 (without it, none beyond
// about 16 x 20); most runs with more locks or of 16 x 625 still exhaust the
// budget.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "locks/lock_graph.h"

enum class SequenceResult { Found, None, OutOfBudget };

struct SequenceOutcome {
  SequenceResult result = SequenceResult::OutOfBudget;
  int_t choices = 0;  // stores and acquires run as choices, backtracked ones too
};

// Whether it can prove that no legal sequence starts with `prefix`, the nodes
// run so far in the order they ran.
using PrefixRefuter = std::function<bool(const std::vector<int_t>& prefix)>;

// With a refuter, a choice that makes one of its address's or lock's own
// nodes wait for it is a dead end too, and a search that makes `stallChoices`
// choices without going deeper asks the refuter where its choices went wrong
// (see `backjump`), `calls` times at most.
struct Refutation {
  PrefixRefuter refute;
  std::int64_t stallChoices = 2'000;
  int calls = 96;
};

// `rank` orders the choices, lowest first; `budget` bounds the nodes run.
SequenceOutcome find_sequence(const LockGraph& g, const std::vector<int_t>& rank,
                              std::int64_t budget, const Refutation& refutation = {});
