// A scope-consistency run state built up to the start of the frontier
// search, and a record of every arc list to compare placements against.
#pragma once

#include <tuple>
#include <vector>

#include "bounds/active_windows.h"
#include "bounds/scans.h"
#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/write_to.h"
#include "rc/propagation.h"
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
    add_wt_arc();
    add_lo_for_sync();
  }

  // Every forward arc in list order and every reverse arc, node by node.
  using Cell = std::tuple<int_t, int_t, int_t>;  // target processor, sequence, order
  struct Arcs {
    std::vector<std::vector<Cell>> forward;
    std::vector<std::vector<Cell>> reverse;
    std::vector<int_t> pointed;
    bool operator==(const Arcs&) const = default;
  };

  static Arcs arcs() {
    Arcs all;
    for (auto& row : state.graph) {
      for (opnode& n : row) {
        auto& forward = all.forward.emplace_back();
        for (const oparc* a = n.pointTo; a != nullptr; a = a->nxtarc) {
          forward.emplace_back(a->nptr->proc_num, a->nptr->seq_num, a->order);
        }
        auto& reverse = all.reverse.emplace_back();
        for (const roparc* a = n.pointFrom; a != nullptr; a = a->nxtarc) {
          reverse.emplace_back(a->nptr->proc_num, a->nptr->seq_num, a->order);
        }
        all.pointed.push_back(n.pointed);
      }
    }
    return all;
  }
};
