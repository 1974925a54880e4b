// The witness of a lock-model violation that no single cycle shows: a set of
// operations that admits no legal order although every one of them is
// needed for that (leaving any one out admits an order), with the arcs every
// order of them keeps.
#pragma once

#include <optional>
#include <vector>

#include "qirn.h"

struct CoreArc {
  const opnode* from;
  const opnode* to;
  ORDER_t tag;  // LO for program order, Wt, IO, Syn, TO for the scans' time order
};

struct FoundCore {
  std::vector<const opnode*> nodes;  // by processor, in program order
  std::vector<CoreArc> arcs;
};

// The core of the current run under `model` (RC or ScC), when the decision
// proves a violation on a run of at most a few thousand operations.
std::optional<FoundCore> find_core(MCM_t model);
