#include "run/driver.h"

#include <ctime>

#include "baseline/cycle_check.h"
#include "bounds/active_windows.h"
#include "bounds/scan_order.h"
#include "bounds/scans.h"
#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/write_to.h"
#include "graph/cycles.h"
#include "rc/pairing_search.h"
#include "rc/propagation.h"
#include "report/diagnostics.h"
#include "run/cli.h"
#include "scc/propagation.h"
#include "scc/search.h"
#include "trace/graph.h"
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
  static const char* const kNames[] = {"SC", "PC", "RC", "ScC"};
  std::printf("The memory model to be verified is ");
  std::printf("%s\n", kNames[state.MC]);
}

void print_sizes() {
  std::printf("the number of processors is %d\nthe number of operations in each processor is %d\n",
              state.NPROCESSOR, state.NOPLIST);
}

void read_inputs() {
  const bool optimized = state.isBase == 0;
  if (optimized) calculate_scan();
  qirn_init();
  if (optimized) read_bound_res();
  read_result();
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
  std::printf("the number of addresses is %d\nthe number of locks is %d\n", state.addrNum,
              state.lockNum);
  init_sa_sr();
  if (state.isBase == 1) return;
  calculateActivePendingWindow();
  calculateScanNo();
  updateSn();
}

namespace {

// Baseline SC and PC keep program order implicit (see baseline/cycle_check.h).
bool implicit_program_order() {
  return state.isBase == 1 && (state.MC == SC || state.MC == PC);
}

}  // namespace

void derive_arcs() {
  if (!implicit_program_order()) add_lo_arc(state.MC);
  add_wt_arc();
}

namespace {

void print_time_used() {
  std::printf("Time used = %.2lf\n", static_cast<double>(std::clock()) / CLOCKS_PER_SEC);
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
  std::printf("%s\n", found == 0 ? "no cycle!" : "find cycle");
}

void verify_release_consistency() {
  add_lo_for_sync();
  if (check_cycle() == 1) {
    std::printf("before add arc!\n");
    return;
  }
  check_for_rc();
  print_time_used();
}

void verify_scope_consistency() {
  add_lo_for_sync();
  std::printf("the number of sessions is %d\n", count_sync(0));
  pre_lmt_sync();
  std::printf("ScC\n");
  if (check_cycle() == 1) std::printf("before add go arc!\n");
  verificationAlgorithm();
  print_time_used();
}

void finish_run() {
  std::printf("Count of choosing edge: %d\n", state.exp_i);
}

void close_output() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) err_sys("write output file");
  FILE* file = state.OFILE;
  state.OFILE = nullptr;
  if (file != nullptr && std::fclose(file) != 0) err_sys("write output file");
}

namespace {

void verify() {
  switch (state.MC) {
    case SC:
    case PC:
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
  if (deal_argv(argc, argv) == 0) {
    print_model_line();
    get_proc_op_num();
    state.NOPLIST = max(state.procOpNum.data(), state.NPROCESSOR);
    print_sizes();
    read_inputs();
    if (state.MC == ScC) prepare_scope_sessions();
    derive_arcs();
    verify();
  }
  close_output();
  return 0;
}
