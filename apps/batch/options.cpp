#include "batch/options.h"

#include <cstring>
#include <string>
#include <vector>

namespace qirn_batch {
namespace {

// A limit is shown in messages to the microsecond, so it is at least a
// thousandth of a second; at most about 31 years, so that its end can be
// reckoned on the clock.
constexpr double kShortestTimeout = 0.001;
constexpr double kLongestTimeout = 1e9;

// "K/N" with whole numbers 1 <= K <= N.
qirn_tools::Value shard(int& index, int& count) {
  return {true, "K/N with whole numbers 1 <= K <= N", [&index, &count](const char* text) {
            const char* slash = std::strchr(text, '/');
            if (slash == nullptr) return false;
            const std::string k(text, slash);
            int first = 0;
            int total = 0;
            if (!qirn_tools::parse_number(k.c_str(), first) ||
                !qirn_tools::parse_number(slash + 1, total) || first < 1 || first > total)
              return false;
            index = first;
            count = total;
            return true;
          }};
}

}  // namespace

ParsedOptions parse_options(int argc, char** argv) {
  using namespace qirn_tools;
  ParsedOptions parsed;
  BatchOptions& o = parsed.options;
  const std::vector<Option> table = {
      {'m', {"model"}, model(o.model)},
      {'b', {"baseline"}, flag(o.baseline)},
      {'j', {"jobs"}, whole(o.jobs, 1)},
      {'p', {"processors"}, whole(o.processors, 1)},
      {'\0', {"json"}, file_name(o.jsonFile)},
      {'\0', {"timeout"}, seconds(o.timeout, kShortestTimeout, kLongestTimeout, true)},
      {'\0', {"qirn"}, text(o.qirn)},
      {'\0', {"expect"}, flag(o.expect)},
      {'\0', {"junit"}, file_name(o.junitFile)},
      {'\0', {"shard"}, shard(o.shardIndex, o.shardCount)},
  };
  parsed.line = parse(argc, argv, table, &o.paths);
  if (parsed.line.action == Action::Run && o.paths.empty()) parsed.line.refuse("no PATH given");
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
         "  -m, --model NAME       SC, PC, RC, ScC, TSO, PSO or WMO\n"
         "                         (default ScC)\n"
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
         "      --shard K/N        verify only the K-th of N parts of the sets, in order\n"
         "                         (1 <= K <= N); the parts' results, K = 1 to N, put\n"
         "                         together are those of the whole batch\n"
         "  -h, --help             print this text\n"
         "\n"
         "Exit status: 0 when every set passes, 1 when a set shows a violation and every\n"
         "set was verified, 2 when a set could not be verified (error or timeout) or the\n"
         "command line is wrong. With --expect, 0 when every set gets its expected\n"
         "verdict and 1 when one does not, but all were verified.\n";
}

}  // namespace qirn_batch
