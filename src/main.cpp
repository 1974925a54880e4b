// qirn: decides whether the traces of a multiprocessor test run are explained
// by some execution legal under the chosen memory model.
#include "report/diagnostics.h"
#include "run/driver.h"

int main(int argc, char** argv) {
  return run_guarded([&] { return run_qirn(argc, argv); });
}
