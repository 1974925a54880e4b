// The violation injector: makes chosen loads return an older value of their
// address, so that the trace no longer reflects what memory held.
#pragma once

#include <vector>

#include "gen/random.h"
#include "gen/run_model.h"

namespace qirn_gen {

// Picks up to `count` distinct loads that have an older value to return
// (some store to their address took effect before them) and gives each one
// of the values its address held before the current one: the initial 0 or an
// earlier store's value. Returns the changed loads, ordered by processor and
// sequence number; fewer than `count` when too few loads qualify.
std::vector<InjectedLoad> inject_violations(std::vector<Program>& programs, int32_t count,
                                            SplitMix64& rng);

}  // namespace qirn_gen
