// Tiny trace sets with locks for the reference of the lock-based models:
// their files as text, and random sets for differential tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/lock_model_reference.h"

namespace lock_reference {

// Programs written as trace file lines ("load A V", "store A V", "acquire L",
// "release L", "fence"), one text per processor, and bound files as
// "SCAN:LB,UB" lines; lines that start with "#" are skipped.
TraceSet parse_set(const std::vector<std::string>& traces,
                   const std::vector<std::string>& bounds = {});

// The text of each trace file, and of each bound file.
std::vector<std::string> trace_texts(const TraceSet& set);
std::vector<std::string> bound_texts(const TraceSet& set);
// Every file of the set, each under a line "--- NAME"; the bound files only
// for optimized mode.
std::string files_text(const TraceSet& set, bool optimized);

// A random set under `model`: 2-3 processors of 2 to `most_ops` operations,
// 1-3 addresses, 0-2 locks and well-formed sessions (under RC never nested,
// under ScC sessions of different locks may nest or overlap), and in two sets
// of five fences. Each load reads
// a random store to its address, anywhere, or 0; in about a third of the
// sets, 40% of the stores are RMWs that read another store of their address
// or 0; 3% of the sets hold a release that ends no session. Half the sets get bound files of a
// random run, the rest files that order nothing.
TraceSet random_set(Model model, std::uint32_t seed, int most_ops);

// The set as a run in that mode sees it: baseline mode reads no bound file.
TraceSet in_mode(TraceSet set, bool optimized);

}  // namespace lock_reference
