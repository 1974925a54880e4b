// qirn: decides whether the traces of a multiprocessor test run are explained
// by some execution legal under the chosen memory model.
#include "qirn.h"
#include "run/cli.h"
#include "run/driver.h"
#include "trace/trace_reader.h"

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  state.MC = ScC;
  if (deal_argv(argc, argv) == 1) return 0;
  print_model_line();

  get_proc_op_num();
  state.NOPLIST = max(state.procOpNum.data(), state.NPROCESSOR);
  print_sizes();

  read_inputs();
  if (state.MC == ScC) prepare_scope_sessions();
  derive_arcs();

  switch (state.MC) {
    case SC:
    case PC:
      verify_by_cycles();
      break;
    case RC:
      verify_release_consistency();
      return 0;
    case ScC:
      verify_scope_consistency();
      break;
  }
  finish_run();
  return 0;
}
