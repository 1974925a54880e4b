#include "run/driver.h"

#include <ctime>
#include <functional>
#include <limits>
#include <optional>

#include "baseline/cycle_check.h"
#include "baseline/order_index.h"
#include "bounds/active_windows.h"
#include "bounds/scan_order.h"
#include "bounds/scans.h"
#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/reach_closure.h"
#include "derive/write_to.h"
#include "graph/cycles.h"
#include "locks/lock_order.h"
#include "locks/lock_report.h"
#include "rc/pairing_search.h"
#include "rc/propagation.h"
#include "report/diagnostics.h"
#include "run/cli.h"
#include "run/held_output.h"
#include "scc/propagation.h"
#include "scc/search.h"
#include "trace/graph.h"
#include "trace/one_file_trace.h"
#include "trace/read_from.h"
#include "trace/sessions.h"
#include "trace/trace_reader.h"

int_t max(const int_t* list, int_t n) {
  int_t largest = list[0];
  for (int_t i = 1; i < n; ++i) {
    if (list[i] > largest) largest = list[i];
  }
  return largest;
}

void print_model_line() {
  std::fprintf(state->out, "The memory model to be verified is ");
  std::fprintf(state->out, "%s\n", model_name(state->MC));
}

void print_sizes() {
  std::fprintf(state->out,
               "the number of processors is %d\nthe number of operations in each processor is %d\n",
               state->NPROCESSOR, state->NOPLIST);
}

void count_operations() {
  if (state->traceFile.empty()) {
    get_proc_op_num();
  } else {
    read_one_file_trace();
  }
}

namespace {

// The operations into the allocated nodes.
void read_operations() {
  if (state->traceFile.empty()) {
    read_result();
  } else {
    fill_one_file_trace();
  }
}

}  // namespace

void read_inputs() {
  const bool optimized = state->isBase == 0;
  if (optimized) calculate_scan();
  qirn_init();
  if (optimized) read_bound_res();
  read_operations();
  get_addr_lock_num();
  construct_mapping();
  if (optimized) {
    calculatePendingWindow();
    calculateCompletionScans();
  }
  init_inSync();
  init_first_write_sync_read();
}

void prepare_scope_sessions() {
  update_pre_nxt_node();
  std::fprintf(state->out, "the number of addresses is %d\nthe number of locks is %d\n",
               state->addrNum, state->lockNum);
  init_sa_sr();
  if (state->isBase == 1 || !frontier_search_available()) return;
  calculateActivePendingWindow();
  calculateScanNo();
  updateSn();
}

namespace {

// The searches of old for RC and ScC know loads and stores only; a run with an
// RMW gets the lock-model decision alone.
bool earlier_lock_searches() {
  return !state->hasRmw;
}

}  // namespace

bool frontier_search_available() {
  return earlier_lock_searches() && (state->isBase == 1 || state->lockNum == 1);
}

namespace {

// Baseline SC, PC and TSO keep program order implicit (see
// baseline/cycle_check.h). So do baseline PSO, and WMO with fences, lock
// operations or times, once the stored arcs' matrix of what reaches what no
// longer fits: their index has chains per address in wide rows, and costs
// more than that matrix while the matrix fits. Both print the same. The
// index's chains hold loads and stores apart, so a run with an RMW, which is
// both, keeps program order as arcs. Under WMO the times of a one-file trace
// order a load before later operations of its thread; the index knows them
// where they are a suffix of the thread, and arcs hold them elsewhere.
bool implicit_program_order() {
  const bool timedWeakOrder = state->MC == WMO && !times_order_suffixes();
  if (state->isBase != 1 || is_lock_model() || state->hasRmw || timedWeakOrder) return false;
  const bool wideRows =
      state->MC == PSO || (state->MC == WMO && !OrderIndex::weak_without_barriers());
  return !wideRows || !ReachClosure::fits();
}

// What the model adds beside each write-to arc.
WriteToCarry write_to_carry() {
  if (state->MC == RC) return rc_write_to_carry;
  if (state->MC == ScC) return scc_write_to_carry;
  return nullptr;
}

}  // namespace

void derive_arcs() {
  if (is_lock_model() && !earlier_lock_searches()) return;
  if (!implicit_program_order()) add_lo_arc(state->MC);
  add_wt_arc(write_to_carry());
}

namespace {

void print_time_used() {
  std::fprintf(state->out, "Time used = %.2lf\n",
               static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
}

}  // namespace

void verify_by_cycles() {
  int_t found = 0;
  if (implicit_program_order()) {
    found = verify_baseline_order();
  } else {
    add_io_arc();
    found = check_cycle();
  }
  print_verdict(found != 0, found == 0 ? "no cycle!" : "find cycle");
}

namespace {

// What the frontier search may spend when the lock-model decision already has
// the verdict, up to half a second of its work on a 2-core machine: choices,
// and arcs walked by its path tests. A search that finishes within them prints
// what it always printed; past them its verdict is not waited for.
constexpr int_t kFrontierChoices = 800'000;
constexpr std::int64_t kFrontierWalk = 40'000'000;

// What the lines printed so far have recorded: the verdict, the line that
// decides it, and the printed cycle.
struct PrintedRecord {
  Verdict verdict = Verdict::None;
  VerdictLine line;
  FoundCycle cycle;

  static PrintedRecord of_run() { return {state->verdict, state->verdictLine, state->lastCycle}; }
  void restore() const {
    state->verdict = verdict;
    state->verdictLine = line;
    state->lastCycle = cycle;
  }
};

// The model's search of old, whose lines are kept wherever it reaches the
// verdict the lock-model decision reaches: its output held back, what that
// output recorded, and the search's verdict, if it reached one.
struct EarlierSearch {
  HeldOutput held;
  PrintedRecord printed;
  std::optional<LockVerdict> verdict;

  bool agrees(const LockDecision& decision) const {
    return !held.stop && verdict == decision.verdict;
  }
};

// The verdict lines and the cycle of held output count only once they are
// shown, also when the search is abandoned.
EarlierSearch run_earlier(const std::function<std::optional<LockVerdict>()>& search) {
  EarlierSearch earlier;
  const PrintedRecord before = PrintedRecord::of_run();
  try {
    earlier.held = run_held([&] { earlier.verdict = search(); });
  } catch (...) {
    before.restore();
    throw;
  }
  earlier.printed = PrintedRecord::of_run();
  before.restore();
  return earlier;
}

// Nothing is printed between the held search and its showing, so what its
// lines recorded is the run's once they are shown.
void show_agreeing(const EarlierSearch& earlier) {
  show(earlier.held);
  earlier.printed.restore();
}

std::optional<LockVerdict> release_chain_search() {
  add_lo_for_sync();
  if (check_cycle() == 1) {
    print_verdict(true, "before add arc!");
    return LockVerdict::Violation;
  }
  if (state->lockColumns == 0) return std::nullopt;
  const int_t result = check_for_rc();
  print_time_used();
  return result == 0 ? LockVerdict::Legal : LockVerdict::Violation;
}

std::optional<LockVerdict> frontier_search() {
  add_lo_for_sync();
  pre_lmt_sync();
  std::fprintf(state->out, "ScC\n");
  if (check_cycle() == 1) {
    print_verdict(true, "before add go arc!");
  }
  const int_t result = verificationAlgorithm();
  print_time_used();
  return result == -1 ? LockVerdict::Legal : LockVerdict::Violation;
}

EarlierSearch bounded_frontier_search() {
  state->exp_limit = kFrontierChoices;
  state->walkLimit = state->walkSteps + kFrontierWalk;
  EarlierSearch earlier;
  try {
    earlier = run_earlier(frontier_search);
  } catch (const SearchAbandoned&) {
    earlier = {};
  }
  state->exp_limit = std::numeric_limits<int_t>::max();
  state->walkLimit = std::numeric_limits<std::int64_t>::max();
  return earlier;
}

// A run that only the lock-model decision can judge, when that decision gives
// no verdict within its budgets.
void stop_undecided() {
  err_quit("no verdict within the search budget for read-modify-writes under RC and ScC");
}

}  // namespace

void verify_release_consistency() {
  const LockDecision decision = decide_lock_model(RC);
  if (decision.verdict == LockVerdict::Undecided) {
    if (!earlier_lock_searches()) stop_undecided();
    release_chain_search();
    return;
  }
  if (earlier_lock_searches()) {
    const EarlierSearch earlier = run_earlier(release_chain_search);
    if (earlier.agrees(decision)) return show_agreeing(earlier);
  }
  print_rc_decision(decision);
  print_time_used();
}

void verify_scope_consistency() {
  std::fprintf(state->out, "the number of sessions is %d\n", count_sync(0));
  const LockDecision decision = decide_lock_model(ScC);
  if (decision.verdict == LockVerdict::Undecided) {
    if (!earlier_lock_searches()) stop_undecided();
    if (!frontier_search_available()) stop_run(StopKind::Internal, "more than one lock!");
    frontier_search();
    return;
  }
  if (frontier_search_available()) {
    const EarlierSearch earlier = bounded_frontier_search();
    if (earlier.agrees(decision)) return show_agreeing(earlier);
  }
  state->exp_i = decision.choices;
  print_scc_decision(decision);
  print_time_used();
}

void finish_run() {
  std::fprintf(state->out, "Count of choosing edge: %d\n", state->exp_i);
}

void close_output() {
  if (std::fflush(state->out) != 0 || std::ferror(state->out) != 0) err_sys("write output file");
  FILE* file = state->OFILE;
  if (file == nullptr) return;
  state->OFILE = nullptr;
  state->out = stdout;
  if (std::fclose(file) != 0) err_sys("write output file");
}

namespace {

void verify() {
  switch (state->MC) {
    case SC:
    case PC:
    case TSO:
    case PSO:
    case WMO:
      verify_by_cycles();
      finish_run();
      break;
    case RC:
      verify_release_consistency();
      break;
    case ScC:
      verify_scope_consistency();
      finish_run();
      break;
  }
}

}  // namespace

int run_qirn(int argc, char** argv) {
  reset_run_state();
  state->stoppedByOptions = deal_argv(argc, argv) != 0;
  return run_stages();
}

int run_stages() {
  if (!state->stoppedByOptions) {
    print_model_line();
    count_operations();
    state->NOPLIST = max(state->procOpNum.data(), state->NPROCESSOR);
    print_sizes();
    read_inputs();
    if (state->MC == ScC) prepare_scope_sessions();
    derive_arcs();
    verify();
  }
  close_output();
  return state->verdictStatus ? verdict_code() : 0;
}
