// A fixture that loads a tiny trace set of the lock-model reference as a run
// reads it, so that a test can build and decide its lock graph directly.
#pragma once

#include <string>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "support/lock_trace_sets.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"

class LockSetFixture : public TraceFixture {
 protected:
  // The traces, the bound files when the set has them, the read-from mapping
  // and the pending windows.
  void load_set(const lock_reference::TraceSet& set, MCM_t model) {
    std::vector<std::string> traces;
    std::vector<std::string> bounds;
    for (const auto& program : set.programs) traces.push_back(lock_reference::trace_text(program));
    for (const auto& file : set.bounds) bounds.push_back(lock_reference::bound_text(file));
    reset_run_state();
    load(traces, model, bounds);
    construct_mapping();
    if (set.bounds.empty()) return;
    calculatePendingWindow();
    calculateCompletionScans();
  }
};
