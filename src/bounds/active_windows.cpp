#include "bounds/active_windows.h"

#include <algorithm>
#include <vector>

#include "report/diagnostics.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

// The quantity a relaxed operation is chosen by, measured on processor p.
using Measure = int_t (*)(const opnode* u, int_t p);

int_t upper_window_on(const opnode* u, int_t p) {
  return u->upw[p];
}
int_t scan_number(const opnode* u, int_t) {
  return u->scanIndex;
}

// The first release after w on w's processor, of any lock; null at the end.
opnode* next_release(const opnode* w) {
  auto& nodes = state->graph[w->proc_num];
  for (int_t s = w->seq_num + 1; s < static_cast<int_t>(nodes.size()); ++s) {
    if (is_release(&nodes[s])) return &nodes[s];
  }
  return nullptr;
}

// Among the loads that read w, the one with the smallest measure; loads on
// w's own processor count only inside a session. The earliest load wins ties.
opnode* earliest_ending_reader(const opnode* w, Measure measure) {
  const int_t p = w->proc_num;
  int_t best = state->procOpNum[p] + 1;
  opnode* chosen = nullptr;
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* load = ld_mapping(cell);
    if (load->proc_num == p && load->inSync != 1) continue;
    if (measure(load, p) < best) {
      best = measure(load, p);
      chosen = load;
    }
  }
  return chosen;
}

// The operation that ends w's activity: the earliest-ending reader or the
// release of w's session, the release winning a tie.
opnode* relaxed_operation(opnode* w, Measure measure) {
  opnode* load = earliest_ending_reader(w, measure);
  opnode* release = is_in_sync(w) == 1 ? next_release(w) : nullptr;
  if (load == nullptr) return release;
  if (release == nullptr) return load;
  const int_t p = w->proc_num;
  return measure(load, p) < measure(release, p) ? load : release;
}

void narrow_upper_window(opnode* w) {
  const opnode* r = get_relaxed_operation(w);
  const opnode* n = w->nxt;
  for (int_t t = 0; t < state->NPROCESSOR; ++t) {
    if (r == nullptr && n == nullptr) {
      w->upw[t] = state->procOpNum[t];
    } else if (n == nullptr) {
      w->upw[t] = r->upw[t];
    } else if (r == nullptr) {
      w->upw[t] = n->upw[t];
    } else {
      w->upw[t] = std::min(r->upw[t], n->upw[t]);
    }
  }
}

void pull_down_scan_number(opnode* w) {
  const opnode* r = get_relaxed_sn_operation(w);
  const opnode* n = w->nxt;
  if (r == nullptr && n == nullptr) {
    w->scanIndex = state->graph[w->proc_num].back().scanIndex;
  } else if (n == nullptr) {
    w->scanIndex = r->scanIndex;
  } else if (r == nullptr) {
    w->scanIndex = n->scanIndex;
  } else {
    w->scanIndex = std::min(r->scanIndex, n->scanIndex);
  }
}

// Walking a processor backwards, each store of a session takes the smallest
// scan number of itself and the session's later stores.
void order_session_scan_numbers(std::vector<opnode>& nodes) {
  bool in_session = false;
  opnode* later = nullptr;
  for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
    if (is_release(&*it)) in_session = true;
    if (is_acquire(&*it)) in_session = false;
    if (!in_session) {
      later = nullptr;
      continue;
    }
    if (it->optype != STORE) continue;
    if (later != nullptr && it->scanIndex > later->scanIndex) it->scanIndex = later->scanIndex;
    later = &*it;
  }
}

}  // namespace

void calculateActivePendingWindow() {
  updateUpperBound();
}

void updateUpperBound() {
  for (auto& nodes : state->graph) {
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      if (it->optype == STORE) narrow_upper_window(&*it);
    }
  }
}

opnode* get_relaxed_operation(opnode* w) {
  return relaxed_operation(w, upper_window_on);
}

void updateSn() {
  for (auto& nodes : state->graph) {
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it) {
      if (it->optype == STORE && it->inSync == 1) pull_down_scan_number(&*it);
    }
  }
  for (auto& nodes : state->graph) order_session_scan_numbers(nodes);
}

opnode* get_relaxed_sn_operation(opnode* w) {
  return relaxed_operation(w, scan_number);
}

int_t calculateSn() {
  if (state->lockNum != 1) stop_run(StopKind::Internal, "more than one lock!");
  int_t largest = 0;
  for (auto& nodes : state->graph) {
    const auto last_acquire =
        std::find_if(nodes.rbegin(), nodes.rend(), [](const opnode& u) { return is_acquire(&u); });
    if (last_acquire != nodes.rend()) largest = std::max(largest, last_acquire->scanIndex);
  }
  return largest;
}
