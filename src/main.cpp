// qirn: decides whether the traces of a multiprocessor test run are explained
// by some execution legal under the chosen memory model.
#include "qirn.h"
#include "run/cli.h"
#include "run/driver.h"

int main(int argc, char** argv) {
  install_out_of_memory_handler();
  state.MC = ScC;
  if (deal_argv(argc, argv) == 1) return 0;
  run_stages();
  return 0;
}
