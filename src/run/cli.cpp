#include "run/cli.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

#include "qirn.h"
#include "report/diagnostics.h"

namespace {

const char* const kShortOptions = "hbp:n:m:c:i:o::j:";

// Options with no letter.
enum LongOnly { kVersion = 256, kExitCode, kJson, kTrace };

const option kLongOptions[] = {
    {"processor", required_argument, nullptr, 'p'},
    {"processors", required_argument, nullptr, 'p'},  // as the companion tools spell it
    {"help", no_argument, nullptr, 'h'},
    {"baseline", no_argument, nullptr, 'b'},
    {"number", required_argument, nullptr, 'n'},
    {"input", required_argument, nullptr, 'i'},
    {"model", required_argument, nullptr, 'm'},
    {"configure", required_argument, nullptr, 'c'},
    {"output", optional_argument, nullptr, 'o'},
    {"version", no_argument, nullptr, kVersion},
    {"exit-code", no_argument, nullptr, kExitCode},
    {"json", required_argument, nullptr, kJson},
    {"trace", required_argument, nullptr, kTrace},
    {"threads", required_argument, nullptr, 'j'},
    {nullptr, 0, nullptr, 0},
};

// The standard string-to-integer conversion: leading blanks, a sign, digits.
int_t to_int(const char* text) {
  return static_cast<int_t>(std::strtol(text, nullptr, 10));
}

// A count from 1 to the largest int_t; any other stops the run with
// `refusal`.
int_t positive_count(const char* text, const char* refusal) {
  errno = 0;
  const long long count = std::strtoll(text, nullptr, 10);
  if (errno == ERANGE || count < 1 || count > std::numeric_limits<int_t>::max()) {
    err_quit("%s", refusal);
  }
  return static_cast<int_t>(count);
}

void set_processors(const char* text) {
  state->NPROCESSOR = positive_count(text, "not valid processor number!");
}

// Unlike the processor count, the thread count must be a whole number.
void set_threads(const char* text) {
  char* end = nullptr;
  std::strtoll(text, &end, 10);
  if (end == text || *end != '\0') err_quit("not valid thread count!");
  state->threads = positive_count(text, "not valid thread count!");
}

void open_output(const char* name) {
  if (name != nullptr) state->ofile = name;
  FILE* file = std::fopen(state->ofile.c_str(), "w+");
  if (file == nullptr) err_sys("open output file");
  if (state->OFILE != nullptr) std::fclose(state->OFILE);  // a second -o ends the first file
  state->OFILE = state->out = file;
}

// Takes --exit-code and --json wherever they are given, so that they also
// report a stop on an option before them. The parser reports nothing on this
// pass.
void take_verdict_options(int argc, char** argv) {
  const int reporting = opterr;
  opterr = 0;
  optind = 0;
  for (int option;
       (option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1;) {
    if (option == kExitCode) state->verdictStatus = true;
    if (option == kJson) state->jsonFile = optarg;
  }
  opterr = reporting;
}

// The number of trace files PREFIXtfres.0, PREFIXtfres.1, ... that follow
// each other.
int_t trace_files_in(const std::string& prefix) {
  int_t count = 0;
  while (count < std::numeric_limits<int_t>::max() &&
         std::filesystem::is_regular_file(prefix + "tfres." + std::to_string(count)))
    ++count;
  return count;
}

// A folder named without an option is read as with -i, after every option;
// without -p the processor count is that of its trace files. Other words
// without an option are ignored, as the word after "-o " always was.
void take_folder_arguments(int argc, char** argv, bool processorsGiven) {
  for (int i = optind; i < argc; ++i) {
    std::error_code error;
    if (!std::filesystem::is_directory(argv[i], error)) continue;
    std::string dir = argv[i];
    if (dir.back() != '/') dir += '/';
    read_traces_at(dir, !processorsGiven);
  }
}

}  // namespace

int set_model(const char* name) {
  for (const MCM_t model : {SC, PC, RC, ScC, TSO, PSO, WMO}) {
    if (std::strcmp(name, model_name(model)) == 0) {
      state->MC = model;
      return 0;
    }
  }
  std::fprintf(state->out, "not valid memory model!\n");
  state->usageError = true;
  return 1;
}

void read_traces_at(const std::string& prefix, bool countProcessors) {
  state->QIRNBOUND = prefix + "boundgt";
  state->QIRNTFRES = prefix + "tfres";
  if (!countProcessors) return;
  const int_t files = trace_files_in(prefix);
  if (files > 0) state->NPROCESSOR = files;
}

int deal_argv(int argc, char** argv) {
  int result = 0;
  bool processorsGiven = false;
  take_verdict_options(argc, argv);
  optind = 0;  // start the parser afresh, also when called more than once
  int option;
  while ((option = getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr)) != -1) {
    switch (option) {
      case 'p':
        set_processors(optarg);
        processorsGiven = true;
        break;
      case 'h':
        print_help();
        result = 1;
        break;
      case 'b':
        state->isBase = 1;
        break;
      case 'n':
        state->NOPLIST = to_int(optarg);
        break;
      case 'i':
        read_traces_at(optarg, false);
        break;
      case 'm':
        if (set_model(optarg) == 1) result = 1;
        break;
      case 'c':
        state->MM_CONF = optarg;
        break;
      case 'o':
        open_output(optarg);
        break;
      case kVersion:
        std::fprintf(state->out, "qirn %s\n", QIRN_VERSION);
        result = 1;
        break;
      case kTrace:
        state->traceFile = optarg;
        break;
      case 'j':
        set_threads(optarg);
        break;
      case kExitCode:
      case kJson:
        break;
      default:  // the parser has already reported the option
        state->usageError = true;
        break;
    }
  }
  take_folder_arguments(argc, argv, processorsGiven);
  return result;
}

void print_help() {
  std::fprintf(state->out, "%s\n", "NAME\n\tQIRN - Tessivane");
  std::fprintf(state->out, "%s\n", "SYNOPSIS\n\t./qirn [OPTIONS]");
  std::fprintf(state->out, "%s\n",
               "DESCRIPTION\n\ta verifier used to verify memory consistency models");
  std::fprintf(state->out, "%s\n", "OPTIONS\n\t-h, --help\n\t\tPrint a usage message.");
  std::fprintf(state->out, "%s\n",
               "\t-p NUM, --processor NUM\n\t\tObtain the number of processors");
  std::fprintf(state->out, "%s\n",
               "\t-n NUM, --number NUM\n\t\tObtain the operation numbers of per processor");
  std::fprintf(state->out, "%s\n", "\t-m NAME, --model NAME\n\t\tObtian the memory model");
  std::fprintf(state->out, "%s\n",
               "\t-i DIR, --input DIR\n\t\tObtian the directory of test program files");
}
