#include "gen/options.h"

#include <getopt.h>

#include <charconv>
#include <cstring>
#include <limits>

#include "tools/option_text.h"

namespace qirn_gen {
namespace {

const char* const kShortOptions = ":hp:n:a:l:c:d:s:v:t:k:o:";

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"processors", required_argument, nullptr, 'p'},
    {"operations", required_argument, nullptr, 'n'},
    {"addresses", required_argument, nullptr, 'a'},
    {"locks", required_argument, nullptr, 'l'},
    {"lock-share", required_argument, nullptr, 'c'},
    {"scan-distance", required_argument, nullptr, 'd'},
    {"seed", required_argument, nullptr, 's'},
    {"violations", required_argument, nullptr, 'v'},
    {"timed-violations", required_argument, nullptr, 't'},
    {"lock-violations", required_argument, nullptr, 'k'},
    {"output", required_argument, nullptr, 'o'},
    {nullptr, 0, nullptr, 0},
};

constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();

struct NumberOption {
  char letter;
  const char* name;
  int32_t GenConfig::*field;
  int32_t min;
  int32_t max;
};

const NumberOption kNumberOptions[] = {
    {'p', "--processors", &GenConfig::processors, 1, 100'000},
    {'n', "--operations", &GenConfig::operations, 1, kMaxTotalOperations},
    {'a', "--addresses", &GenConfig::addresses, 1, kMaxTotalOperations},
    {'l', "--locks", &GenConfig::locks, 0, 1'000'000},
    {'c', "--lock-share", &GenConfig::lockShare, 0, 100},
    {'d', "--scan-distance", &GenConfig::scanDistance, 1, kInt32Max},
    {'v', "--violations", &GenConfig::violations, 0, kInt32Max},
    {'t', "--timed-violations", &GenConfig::timedViolations, 0, kInt32Max},
    {'k', "--lock-violations", &GenConfig::lockViolations, 0, kInt32Max},
};

using qirn_tools::parse_whole;

std::string invalid(const char* name, const char* text) {
  return std::string("invalid value for ") + name + ": '" + text + "'";
}

// Applies one option; returns an error text, empty when it was accepted.
std::string apply(int letter, const char* text, GenConfig& config) {
  if (letter == 'o') {
    config.prefix = text;
    return {};
  }
  if (letter == 's') return parse_whole(text, config.seed) ? "" : invalid("--seed", text);
  for (const NumberOption& option : kNumberOptions) {
    if (option.letter != letter) continue;
    int64_t value = 0;
    if (!parse_whole(text, value) || value < option.min || value > option.max) {
      return invalid(option.name, text) + " (expected " + std::to_string(option.min) + " to " +
             std::to_string(option.max) + ")";
    }
    config.*option.field = static_cast<int32_t>(value);
    return {};
  }
  return "unknown option";
}

std::string check_total(const GenConfig& config) {
  const int64_t built = static_cast<int64_t>(config.processors) * config.operations;
  if (built > kMaxTotalOperations) {
    return "processors times operations may be at most " + std::to_string(kMaxTotalOperations);
  }
  if (built + static_cast<int64_t>(kMaxLockViolationLength) * config.lockViolations <=
      kMaxTotalOperations) {
    return {};
  }
  return "processors times operations, plus " + std::to_string(kMaxLockViolationLength) +
         " per lock violation, may be at most " + std::to_string(kMaxTotalOperations);
}

}  // namespace

ParsedOptions parse_options(int argc, char** argv) {
  ParsedOptions parsed;
  optind = 0;  // start the parser afresh, also when called more than once
  opterr = 0;
  int result;
  while ((result = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1) {
    if (result == 'h') {
      parsed.action = ParsedOptions::Action::Help;
      continue;
    }
    parsed.error = (result == '?' || result == ':') ? qirn_tools::parser_error(result, argv)
                                                    : apply(result, optarg, parsed.config);
    if (!parsed.error.empty()) break;
  }
  if (parsed.error.empty() && optind < argc) {
    parsed.error = std::string("unexpected argument '") + argv[optind] + "'";
  }
  if (parsed.error.empty()) parsed.error = check_total(parsed.config);
  if (!parsed.error.empty()) parsed.action = ParsedOptions::Action::Fail;
  return parsed;
}

std::string usage_text() {
  return "Usage: qirn-gen [OPTIONS]\n"
         "Simulates a sequentially consistent multiprocessor run and writes, for each\n"
         "processor N, the trace file PREFIXtfres.N and the bound file PREFIXboundgt.N\n"
         "that qirn reads, and PREFIXmanifest.json: the options, the injections and the\n"
         "verdict each model and mode is sure to give.\n"
         "\n"
         "Options:\n"
         "  -p, --processors NUM     number of processors (default 16, as qirn reads)\n"
         "  -n, --operations NUM     loads and stores per processor; every lock session\n"
         "                           adds its acquire and release (default 20)\n"
         "  -a, --addresses NUM      addresses 0 to NUM-1 (default 4)\n"
         "  -l, --locks NUM          locks 0 to NUM-1; 0 gives no lock sessions (default 1)\n"
         "  -c, --lock-share PCT     percentage of loads and stores inside lock sessions\n"
         "                           (default 40)\n"
         "  -d, --scan-distance NUM  clock ticks between two scans (default 8); every\n"
         "                           operation takes three ticks: issue, effect, completion\n"
         "  -s, --seed NUM           seed; the same seed gives the same files (default 1)\n"
         "  -v, --violations NUM     loads made to return an older value of their address\n"
         "                           (default 0)\n"
         "  -t, --timed-violations NUM\n"
         "                           loads made to return a value that a scan proves\n"
         "                           overwritten before the load was issued (default 0;\n"
         "                           taken only when -v injects nothing)\n"
         "  -k, --lock-violations NUM\n"
         "                           sessions added on two processors so that a load in\n"
         "                           one returns a value that an earlier session of its\n"
         "                           lock overwrote (default 0; none without two\n"
         "                           processors, a lock and two addresses)\n"
         "  -o, --output PREFIX      path prefix of the files, as qirn -i takes it\n"
         "                           (default: none, the current directory); its\n"
         "                           folder is made when missing\n"
         "  -h, --help               print this text\n";
}

}  // namespace qirn_gen
