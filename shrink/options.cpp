#include "shrink/options.h"

#include <getopt.h>

#include "batch/options.h"

namespace qirn_shrink {
namespace {

using qirn_batch::invalid;
using qirn_batch::parse_whole;

const char* const kShortOptions = ":hp:m:bi:o:n:c:t:";

enum LongOnly { kQirn = 256, kForce };

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"processor", required_argument, nullptr, 'p'},
    {"model", required_argument, nullptr, 'm'},
    {"baseline", no_argument, nullptr, 'b'},
    {"input", required_argument, nullptr, 'i'},
    {"output", required_argument, nullptr, 'o'},
    {"number", required_argument, nullptr, 'n'},
    {"configure", required_argument, nullptr, 'c'},
    {"time-limit", required_argument, nullptr, 't'},
    {"qirn", required_argument, nullptr, kQirn},
    {"force", no_argument, nullptr, kForce},
    {nullptr, 0, nullptr, 0},
};

std::string apply(int option, const char* arg, ShrinkOptions& options) {
  switch (option) {
    case 'h':
      options.help = true;
      return {};
    case 'p':
      if (parse_whole(arg, options.processors) && options.processors >= 1) return {};
      return invalid("-p", arg, "a count of at least 1");
    case 'm':
      options.model = arg;
      if (options.model == "SC" || options.model == "PC" || options.model == "RC" ||
          options.model == "ScC") {
        return {};
      }
      return invalid("-m", arg, "SC, PC, RC or ScC");
    case 'b':
      options.baseline = true;
      return {};
    case 'i':
      options.input = arg;
      return {};
    case 'o':
      options.outdir = arg;
      return {};
    case 't':
      if (parse_whole(arg, options.timeLimit) && options.timeLimit > 0 &&
          options.timeLimit <= kMaxTimeLimit) {
        return {};
      }
      return invalid("-t", arg, "a number of seconds above 0 and at most 1000000");
    case kQirn:
      options.qirn = arg;
      return {};
    case kForce:
      options.force = true;
      return {};
    case 'n':
    case 'c':
      return {};
    case ':':
      return "an option needs a value";
    default:
      return "unknown option";
  }
}

}  // namespace

const char* const kShrinkUsage =
    "Usage: qirn-shrink [QIRN OPTIONS] -o OUTDIR [-t SECONDS]\n"
    "Reads the trace set (and, unless -b is given, the bound files) as qirn does\n"
    "with the same options, and writes into OUTDIR the smallest set it finds that\n"
    "gives the same kind of verdict: whole processors, lock sessions and single\n"
    "operations are removed until no single one more can go.\n"
    "\n"
    "Options:\n"
    "  -p, --processor NUM    number of processors (default 16)\n"
    "  -m, --model NAME       SC, PC, RC or ScC (default ScC)\n"
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

ShrinkOptions parse_options(int argc, char** argv) {
  ShrinkOptions options;
  optind = 1;
  opterr = 0;
  int option;
  while ((option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1) {
    std::string error = apply(option == '?' ? '?' : option, optarg, options);
    if (!error.empty() && options.error.empty()) options.error = error;
  }
  if (optind < argc && options.error.empty()) {
    options.error = std::string("unexpected argument: ") + argv[optind];
  }
  if (options.error.empty() && !options.help && options.outdir.empty()) {
    options.error = "an output folder is required (-o OUTDIR)";
  }
  return options;
}

}  // namespace qirn_shrink
