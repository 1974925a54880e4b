// qirn-witness: draws the cycle behind a violation that qirn reports.
#include <cstdio>

#include "qirn.h"
#include "tools/option_text.h"
#include "witness/witness.h"

int main(int argc, char** argv) {
  if (qirn_tools::printed_version("qirn-witness", argc, argv)) return 0;
  const qirn_witness::WitnessOptions options = qirn_witness::parse_options(argc, argv);
  if (options.help) {
    std::fputs(qirn_witness::kWitnessUsage, stdout);
    return 0;
  }
  if (!options.error.empty()) {
    std::fprintf(stderr, "qirn-witness: %s\n%s", options.error.c_str(),
                 qirn_witness::kWitnessUsage);
    return 2;
  }
  // A stale read that the scans prove stops the run with a fatal status, yet
  // it was reported as a cycle and is drawn as one.
  const int status = qirn_witness::run_verifier(options.qirnArguments);
  if (status != 0 && state.lastCycle.nodes.empty()) return status;
  const int written = qirn_witness::write_witness(options);
  return written != 0 ? written : status;
}
