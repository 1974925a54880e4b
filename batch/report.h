// What qirn-batch writes: one line per set, JSON objects, the summary and
// the exit status.
#pragma once

#include <string>
#include <string_view>

#include "batch/runner.h"
#include "batch/sets.h"
#include "batch/verdict.h"

namespace qirn_batch {

// text with backslash, tab, newline and carriage return written as \\, \t,
// \n and \r, so that it fits in one tab-separated field.
std::string field_text(std::string_view text);

// "PATH<tab>VERDICT<tab>DETAIL<tab>SECONDS\n", seconds with three decimals,
// PATH and DETAIL as field_text writes them.
std::string result_line(const TraceSet& set, const Outcome& outcome);

// A JSON string literal of text. Bytes that are not UTF-8 become U+FFFD.
std::string json_string(std::string_view text);

// One JSON object on one line: path, path_hex (the path's bytes in
// hexadecimal, only when the path is not UTF-8), model, mode, processors,
// verdict, detail, status (null when qirn did not exit) and seconds.
std::string json_object(const TraceSet& set, const RunSettings& settings, const Outcome& outcome);

class Tally {
 public:
  void add(Verdict verdict) { ++counts_[static_cast<int>(verdict)]; }
  int count(Verdict verdict) const { return counts_[static_cast<int>(verdict)]; }
  int total() const;

  // 0 when every set passed, 2 when one could not be verified, otherwise 1.
  int exit_status() const;

  // "N sets: P pass, V violation, E error, T timeout, S s\n"
  std::string summary(double seconds) const;

 private:
  int counts_[4] = {};
};

}  // namespace qirn_batch
