#include "batch/options.h"

#include <getopt.h>

#include <charconv>
#include <cstring>

namespace qirn_batch {
namespace {

const char* const kShortOptions = ":hm:bj:p:";

enum LongOnly { kJson = 256, kTimeout, kQirn, kExpect, kJunit };

const option kLongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"model", required_argument, nullptr, 'm'},
    {"baseline", no_argument, nullptr, 'b'},
    {"jobs", required_argument, nullptr, 'j'},
    {"processors", required_argument, nullptr, 'p'},
    {"json", required_argument, nullptr, kJson},
    {"timeout", required_argument, nullptr, kTimeout},
    {"qirn", required_argument, nullptr, kQirn},
    {"expect", no_argument, nullptr, kExpect},
    {"junit", required_argument, nullptr, kJunit},
    {nullptr, 0, nullptr, 0},
};

std::string set_count(const char* name, const char* text, int& field) {
  if (parse_whole(text, field) && field >= 1) return {};
  return invalid(name, text, "a whole number from 1");
}

std::string set_model(const char* text, std::string& model) {
  for (const char* name : {"SC", "PC", "RC", "ScC"}) {
    if (std::strcmp(text, name) == 0) {
      model = name;
      return {};
    }
  }
  return invalid("--model", text, "SC, PC, RC or ScC");
}

// A limit is shown in messages to the microsecond, so it is at least a
// thousandth of a second; at most about 31 years, so that its end can be
// reckoned on the clock.
constexpr double kShortestTimeout = 0.001;
constexpr double kLongestTimeout = 1e9;

std::string set_timeout(const char* text, double& timeout) {
  if (parse_whole(text, timeout) &&
      (timeout == 0 || (timeout >= kShortestTimeout && timeout <= kLongestTimeout))) {
    return {};
  }
  return invalid("--timeout", text, "0 for no limit, or seconds from 0.001 to 1000000000");
}

// Applies one option; returns an error text, empty when it was accepted.
std::string apply(int letter, const char* text, BatchOptions& options) {
  switch (letter) {
    case 'm':
      return set_model(text, options.model);
    case 'b':
      options.baseline = true;
      return {};
    case 'j':
      return set_count("--jobs", text, options.jobs);
    case 'p':
      return set_count("--processors", text, options.processors);
    case kJson:
      options.jsonFile = text;
      return text[0] == '\0' ? "empty file name for --json" : "";
    case kTimeout:
      return set_timeout(text, options.timeout);
    case kQirn:
      options.qirn = text;
      return {};
    case kExpect:
      options.expect = true;
      return {};
    case kJunit:
      options.junitFile = text;
      return text[0] == '\0' ? "empty file name for --junit" : "";
  }
  return "unknown option";
}

}  // namespace

std::string invalid(const char* name, const char* text, const char* expected) {
  return std::string("invalid value for ") + name + ": '" + text + "' (expected " + expected + ")";
}

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
                                                    : apply(result, optarg, parsed.options);
    if (!parsed.error.empty()) break;
  }
  if (parsed.error.empty()) {
    parsed.options.paths.assign(argv + optind, argv + argc);
    if (parsed.options.paths.empty() && parsed.action == ParsedOptions::Action::Run) {
      parsed.error = "no PATH given";
    }
  }
  if (!parsed.error.empty()) parsed.action = ParsedOptions::Action::Fail;
  return parsed;
}

std::string usage_text() {
  return "Usage: qirn-batch [OPTIONS] PATH...\n"
         "Verifies every trace set found in or below each PATH with qirn, several at\n"
         "once, and prints one line per set and a summary. A trace set is a folder that\n"
         "holds tfres.0; its processor count is the number of files tfres.0, tfres.1, ...\n"
         "that follow each other without a gap.\n"
         "\n"
         "Options:\n"
         "  -m, --model NAME       SC, PC, RC or ScC (default ScC)\n"
         "  -b, --baseline         baseline mode: no bound files are read\n"
         "  -j, --jobs NUM         sets verified at once (default: one per core)\n"
         "  -p, --processors NUM   processor count of every set, instead of counting\n"
         "      --timeout SECONDS  time limit per set, from 0.001 to 1000000000, 0 for\n"
         "                         none (default 600)\n"
         "      --json FILE        also write one JSON object per set to FILE\n"
         "      --qirn FILE        the qirn to run (default: the one beside qirn-batch)\n"
         "      --expect           compare each verdict with the one that the set's\n"
         "                         manifest.json (written by qirn-gen) expects\n"
         "      --junit FILE       also write the results as JUnit XML to FILE\n"
         "  -h, --help             print this text\n"
         "\n"
         "Exit status: 0 when every set passes, 1 when a set shows a violation and every\n"
         "set was verified, 2 when a set could not be verified (error or timeout) or the\n"
         "command line is wrong. With --expect, 0 when every set gets its expected\n"
         "verdict and 1 when one does not, but all were verified.\n";
}

}  // namespace qirn_batch
