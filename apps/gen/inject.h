// The violation injector: makes chosen loads return an older value of their
// address, or chosen RMWs read what another RMW read, so that the trace no
// longer reflects what memory held.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "gen/random.h"
#include "gen/run_model.h"

namespace qirn_gen {

// Picks up to `count` distinct loads that have an older value to return
// (some store to their address took effect before them) and gives each one
// of the values its address held before the current one: the initial 0 or an
// earlier store's value. Returns the changed loads, ordered by processor and
// sequence number; fewer than `count` when too few loads qualify. Loads of a
// planted lock violation never qualify: their values are its proof.
std::vector<InjectedLoad> inject_violations(std::vector<Program>& programs, int32_t count,
                                            SplitMix64& rng);

// For runs with store buffers: picks up to `count` distinct loads whose own
// processor stored to their address before them, and gives each the initial
// 0 or the value of one of those stores but the last. Every model that keeps
// a processor's stores to one address in order, and lets a load read only
// its processor's newest store to the address or a later one, forbids that
// value: TSO and PSO, and so SC, PC, RC and ScC. Planted loads never
// qualify. Returns the changed loads, ordered as above.
std::vector<InjectedLoad> inject_own_stale(std::vector<Program>& programs, int32_t count,
                                           SplitMix64& rng);

// As inject_violations, but only loads whose stale value the scans prove overwritten
// before the load was issued qualify, and only such values are given: a
// scan saw the overwriting store completed and the load not yet issued, and
// the overwritten value is the initial one or its store is ordered before
// the overwriting one by program order or by a scan as well.
// Whether one scan saw operation a completed and operation b not yet issued
// (each given as processor and sequence number): the first row whose lower
// bound for a's processor has passed a must not yet have b's processor's
// upper bound past b.
bool scan_proves(const std::vector<ScanRow>& scans, std::pair<int32_t, int32_t> a,
                 std::pair<int32_t, int32_t> b);

std::vector<InjectedLoad> inject_timed_violations(std::vector<Program>& programs,
                                                  const std::vector<ScanRow>& scans, int32_t count,
                                                  SplitMix64& rng);

// Picks up to `count` distinct RMWs that have an earlier RMW of their address
// (in the order they took effect) and gives each the value that one of those
// read, drawn among the ones not picked themselves: two RMWs then read the
// same store, or both the initial 0, and neither can follow it at once in
// the address's order, which every model forbids. The first RMW of each
// address is never picked, so every pick has such a partner. Returns the
// changed RMWs, ordered by processor and sequence number.
std::vector<RmwViolation> inject_rmw_violations(std::vector<Program>& programs, int32_t count,
                                                SplitMix64& rng);

}  // namespace qirn_gen
