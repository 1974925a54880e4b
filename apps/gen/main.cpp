// qirn-gen: writes the trace and bound files of a simulated multiprocessor run.
#include <cstdio>
#include <exception>

#include "gen/files.h"
#include "gen/generate.h"
#include "gen/options.h"
#include "gen/summary.h"

int main(int argc, char** argv) {
  const qirn_gen::ParsedOptions options = qirn_gen::parse_options(argc, argv);
  if (options.line.action != qirn_tools::Action::Run) {
    return qirn_tools::answer(options.line, {"qirn-gen", qirn_gen::usage_text(), 1, false});
  }
  try {
    const qirn_gen::GeneratedRun run = qirn_gen::generate(options.config);
    if (!options.config.oneFile.empty() && qirn_gen::has_lock_sessions(run)) {
      std::fputs(
          "qirn-gen: --one-file cannot hold lock sessions, and this run has some; "
          "give -l 0\n",
          stderr);
      return 2;
    }
    qirn_gen::write_run(run, options.config);
    std::fputs(qirn_gen::summary_text(run, options.config).c_str(), stdout);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qirn-gen: %s\n", error.what());
    return 1;
  }
  return 0;
}
