// Runs one verification with the installed library: the command line is
// qirn's, and so are the output and the exit status.
#include "report/diagnostics.h"
#include "run/driver.h"

int main(int argc, char** argv) {
  return run_guarded([&] { return run_qirn(argc, argv); });
}
