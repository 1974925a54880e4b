// qirn-gen: writes the trace and bound files of a simulated multiprocessor run.
#include <cstdio>
#include <exception>

#include "gen/files.h"
#include "gen/generate.h"
#include "gen/options.h"
#include "gen/summary.h"
#include "tools/option_text.h"

int main(int argc, char** argv) {
  if (qirn_tools::printed_version("qirn-gen", argc, argv)) return 0;
  using qirn_gen::ParsedOptions;
  const ParsedOptions options = qirn_gen::parse_options(argc, argv);
  if (options.action == ParsedOptions::Action::Fail) {
    std::fprintf(stderr, "qirn-gen: %s\nTry 'qirn-gen --help'.\n", options.error.c_str());
    return 1;
  }
  if (options.action == ParsedOptions::Action::Help) {
    std::fputs(qirn_gen::usage_text().c_str(), stdout);
    return 0;
  }
  try {
    const qirn_gen::GeneratedRun run = qirn_gen::generate(options.config);
    qirn_gen::write_run(run, options.config);
    std::fputs(qirn_gen::summary_text(run, options.config).c_str(), stdout);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "qirn-gen: %s\n", error.what());
    return 1;
  }
  return 0;
}
