// A machine with store buffers that runs tiny trace sets step by step, written
// from the README section "TSO and PSO" alone and independent of qirn's code.
//
// Every processor executes its operations in program order; a store enters
// the processor's buffer, and a later step moves the oldest buffered store
// (under PSO, the oldest of some address) to memory; a load takes the newest
// buffered store of its own processor to its address, or else memory; a
// fence, acquire or release waits for an empty buffer (lock exclusion is left
// out, which only admits more). Under SC a store goes to memory at once.
// With bound files, an operation that a scan found not yet issued waits until
// every operation that the scan found completed has completed; a store
// completes when it reaches memory.
#pragma once

#include <string>

#include "support/lock_model_reference.h"

namespace store_buffers {

// Whether some run of the machine under `model` ("SC", "TSO" or "PSO")
// returns every traced value and ends with empty buffers. The search tries
// every step and remembers the states it has left, so keep the sets tiny.
bool explains(const lock_reference::TraceSet& set, const std::string& model);

}  // namespace store_buffers
