// Runs one verification with the installed library, as qirn's main does but
// without the --json report: qirn's command line, output and exit status.
#include "report/diagnostics.h"
#include "run/driver.h"

int main(int argc, char** argv) {
  return run_guarded([&] { return run_qirn(argc, argv); });
}
