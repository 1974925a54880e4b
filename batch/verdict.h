// Classifying one qirn run from its output and the way it ended.
#pragma once

#include <string>
#include <string_view>

namespace qirn_batch {

enum class Verdict { Pass, Violation, Error, Timeout };

const char* verdict_name(Verdict verdict);  // "pass", "violation", "error", "timeout"

// Collects the verdict lines of qirn's standard output as it arrives in
// pieces. Only whole lines count; a line longer than any verdict line (a
// printed cycle) is passed over without being kept.
class OutputScan {
 public:
  void add(std::string_view bytes);
  void finish();  // the output ended; a last line without a newline counts

  bool cyclePrinted() const { return cycle_; }
  const std::string& violationLine() const { return violation_; }
  const std::string& passLine() const { return pass_; }

 private:
  void line(std::string_view text);

  std::string partial_;
  bool overlong_ = false;
  bool cycle_ = false;
  std::string violation_;
  std::string pass_;
};

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

// timeout is the limit in seconds, named when the run was stopped by it.
Outcome classify(const OutputScan& out, const ErrorText& err, Ending ending, double timeout);

}  // namespace qirn_batch
