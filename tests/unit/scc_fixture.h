// A scope-consistency run state built up to the start of the frontier
// search.
#pragma once

#include <vector>

#include "bounds/active_windows.h"
#include "bounds/scans.h"
#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/write_to.h"
#include "rc/propagation.h"
#include "scc/propagation.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

class ScopeFixture : public TraceFixture {
 protected:
  // The stages a scope-consistency run calls before the search, without the
  // lines the driver prints between them. No bounds means baseline mode.
  void prepare(const std::vector<std::string>& traces,
               const std::vector<std::string>& bounds = {}) {
    load(traces, ScC, bounds);
    construct_mapping();
    if (state.isBase == 0) calculatePendingWindow();
    init_inSync();
    init_first_write_sync_read();
    update_pre_nxt_node();
    init_sa_sr();
    if (state.isBase == 0) {
      calculateActivePendingWindow();
      calculateScanNo();
      updateSn();
    }
    add_lo_arc(ScC);
    add_wt_arc(scc_write_to_carry);
    add_lo_for_sync();
  }
};
