#include "api/check.h"

#include <algorithm>
#include <memory>

#include "qirn.h"
#include "report/diagnostics.h"
#include "run/cli.h"
#include "run/driver.h"
#include "run/held_output.h"

namespace qirn {

namespace {

// The options as the command line would have set them. A model that has no
// such name stops the check as it stops the command line.
void apply(const Options& options) {
  state->isBase = options.baseline ? 1 : 0;
  state->threads = std::max(options.threads, 0);
  if (options.traceInMemory || !options.traceFile.empty()) {
    state->traceFile = options.traceFile.empty() ? "(memory)" : options.traceFile;
    state->traceInMemory = options.traceInMemory;
    state->traceText = options.traceText;
  } else {
    if (options.processors > 0) state->NPROCESSOR = options.processors;
    read_traces_at(options.prefix, options.processors <= 0);
  }
  state->stoppedByOptions = set_model(options.model.c_str()) != 0;
}

std::vector<std::string> witness_of(const FoundCycle& cycle) {
  std::vector<std::string> witness;
  for (const opnode* node : cycle.nodes) witness.push_back(node_text(node));
  return witness;
}

}  // namespace

Result check(const Options& options) {
  const auto run = std::make_unique<RunState>();
  const RunScope scope(*run);
  reset_run_state();
  MemoryStream out;
  MemoryStream err;
  state->out = out.file();
  state->err = err.file();
  Result result;
  result.status = run_guarded([&] {
    apply(options);
    return run_stages();
  });
  result.verdict = static_cast<Verdict>(verdict_code());
  result.output = out.text();
  result.errors = err.text();
  result.witness = witness_of(state->lastCycle);
  return result;
}

}  // namespace qirn
