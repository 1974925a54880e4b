// qirn: decides whether the traces of a multiprocessor test run are explained
// by some execution legal under the chosen memory model.
#include <cstdio>
#include <cstdlib>

#include "report/diagnostics.h"
#include "report/json_report.h"
#include "run/driver.h"

int main(int argc, char** argv) {
  int status = run_guarded([&] { return run_qirn(argc, argv); });
  if (!write_json_report(verdict_code())) {
    std::fprintf(stderr, "qirn: cannot write %s\n", state->jsonFile.c_str());
    status = state->verdictStatus ? 2 : 255;
  }
  // The run state goes with the process: freeing millions of arc cells one by
  // one would cost more than the last stage of a long run.
  std::fflush(nullptr);
  std::_Exit(status);
}
