#include "shrink/options.h"

#include <vector>

namespace qirn_shrink {

const char* const kShrinkUsage =
    "Usage: qirn-shrink [QIRN OPTIONS] -o OUTDIR [-t SECONDS]\n"
    "Reads the trace set (and, unless -b is given, the bound files) as qirn does\n"
    "with the same options, and writes into OUTDIR the smallest set it finds that\n"
    "gives the same kind of verdict: whole processors, lock sessions and single\n"
    "operations are removed until no single one more can go.\n"
    "\n"
    "Options:\n"
    "  -p, --processors, --processor NUM\n"
    "                         number of processors (default 16)\n"
    "  -m, --model NAME       SC, PC, RC, ScC, TSO, PSO or WMO\n"
    "                         (default ScC)\n"
    "  -b, --baseline         baseline mode: no bound files\n"
    "  -i, --input PREFIX     path prefix of the input files, as for qirn\n"
    "  -o, --output OUTDIR    folder for the smaller set (required)\n"
    "  -t, --time-limit SEC   stop after SEC seconds (at most 1000000) and write\n"
    "                         the smallest set found so far\n"
    "      --force            write into an OUTDIR that already holds files,\n"
    "                         replacing its tfres.N and boundgt.N files only\n"
    "      --qirn PATH        the qirn to run (default: the one beside qirn-shrink)\n"
    "  -n, -c                 accepted and ignored, as by qirn\n"
    "  -h, --help             print this text\n";

ParsedOptions parse_options(int argc, char** argv) {
  using namespace qirn_tools;
  ParsedOptions parsed;
  ShrinkOptions& o = parsed.options;
  const std::vector<Option> table = {
      {'p', {"processors", "processor"}, whole(o.processors, 1)},
      {'m', {"model"}, model(o.model)},
      {'b', {"baseline"}, flag(o.baseline)},
      {'i', {"input"}, text(o.input)},
      {'o', {"output"}, text(o.outdir)},
      {'n', {"number"}, ignored()},
      {'c', {"configure"}, ignored()},
      {'t', {"time-limit"}, seconds(o.timeLimit, 0, kMaxTimeLimit, false)},
      {'\0', {"qirn"}, text(o.qirn)},
      {'\0', {"force"}, flag(o.force)},
  };
  parsed.line = parse(argc, argv, table);
  if (parsed.line.action == Action::Run && o.outdir.empty()) {
    parsed.line.refuse("an output folder is required (-o OUTDIR)");
  }
  return parsed;
}

}  // namespace qirn_shrink
