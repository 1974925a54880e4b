// What qirn-batch writes: one line per set, JSON objects, the summary and
// the exit status.
#pragma once

#include <string>
#include <string_view>

#include "batch/expect.h"
#include "batch/runner.h"
#include "batch/sets.h"
#include "batch/verdict.h"
#include "tools/report_text.h"

namespace qirn_batch {

// value with three decimals.
std::string fixed3(double value);

// text with backslash, tab, newline and carriage return written as \\, \t,
// \n and \r, so that it fits in one tab-separated field.
std::string field_text(std::string_view text);

// "PATH<tab>VERDICT<tab>DETAIL<tab>SECONDS\n", seconds with three decimals,
// PATH and DETAIL as field_text writes them.
std::string result_line(const TraceSet& set, const Outcome& outcome);

using qirn_tools::json_string;

// One JSON object on one line: path, path_hex (the path's bytes in
// hexadecimal, only when the path is not UTF-8), model, mode, processors,
// verdict, detail, status (null when qirn did not exit) and seconds; with
// an expectation also expected (null when the manifest gives none).
std::string json_object(const TraceSet& set, const RunSettings& settings, const Outcome& outcome,
                        const Expectation* expected = nullptr);

class Tally {
 public:
  // Expecting, sets are also counted against their manifests' expectations.
  explicit Tally(bool expecting = false) : expecting_(expecting) {}

  // A set's verdict, and whether it meets the expectation, when there is one.
  void add(Verdict verdict, const Expectation* expected = nullptr);
  int count(Verdict verdict) const { return counts_[static_cast<int>(verdict)]; }
  int total() const;

  // 2 when a set could not be verified; otherwise 0 when every set passed
  // (expecting: met its expectation), else 1.
  int exit_status() const;

  // "N sets: P pass, V violation, E error, T timeout, S s\n"; expecting,
  // ", U unexpected" comes before the seconds.
  std::string summary(double seconds) const;

 private:
  bool expecting_;
  int counts_[4] = {};
  int unexpected_ = 0;
};

}  // namespace qirn_batch
