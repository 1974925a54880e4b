// qirn-witness: draws the cycle behind a violation that qirn reports.
#include "qirn.h"
#include "witness/witness.h"

int main(int argc, char** argv) {
  const qirn_witness::ParsedOptions parsed = qirn_witness::parse_options(argc, argv);
  if (parsed.line.action != qirn_tools::Action::Run) {
    return qirn_tools::answer(parsed.line, {"qirn-witness", qirn_witness::kWitnessUsage, 2, true});
  }
  const qirn_witness::WitnessOptions& options = parsed.options;
  // A stale read that the scans prove stops the run with a fatal status, yet
  // it was reported as a cycle and is drawn as one.
  const int status = qirn_witness::run_verifier(options.qirnArguments);
  if (status != 0 && state->lastCycle.nodes.empty()) return status;
  const int written = qirn_witness::write_witness(options);
  return written != 0 ? written : status;
}
