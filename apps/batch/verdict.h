// Classifying one qirn run from its JSON object and the way it ended.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "batch/qirn_report.h"

namespace qirn_batch {

enum class Verdict { Pass, Violation, Error, Timeout };

const char* verdict_name(Verdict verdict);  // "pass", "violation", "error", "timeout"

// Keeps the start of qirn's standard error, enough for any message it writes.
class ErrorText {
 public:
  void add(std::string_view bytes);
  std::string message() const;  // the last line that is not blank, trimmed

 private:
  std::string text_;
};

// How the process ended.
struct Ending {
  enum class Kind { Exited, Signaled, TimedOut };
  Kind kind = Kind::Exited;
  int code = 0;  // exit status, or the signal number
};

struct Outcome {
  Verdict verdict = Verdict::Error;
  std::string detail;  // the verdict line, or what went wrong
  int status = -1;     // qirn's exit status; -1 when it did not exit
  double seconds = 0;
};

// report is qirn's object, nullopt when none arrived; timeout is the limit in
// seconds, named when the run was stopped by it. A run that ended by a signal
// or the limit, or exited without an object, is an error or a timeout, told
// by the end of its standard error.
Outcome classify(const std::optional<QirnReport>& report, const ErrorText& err, Ending ending,
                 double timeout);

}  // namespace qirn_batch
