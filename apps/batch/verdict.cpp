#include "batch/verdict.h"

#include <algorithm>
#include <csignal>
#include <cstring>

namespace qirn_batch {
namespace {

constexpr size_t kErrorTextLimit = 64 * 1024;
constexpr const char* kNoVerdict = "no verdict in qirn's output";

// The last line of text that is not blank, without the blanks that end it.
std::string last_line(std::string_view text) {
  const size_t end = text.find_last_not_of(" \t\r\n");
  if (end == std::string_view::npos) return {};
  const size_t newline = text.find_last_of('\n', end);
  const size_t first = newline == std::string_view::npos ? 0 : newline + 1;
  return std::string(text.substr(first, end + 1 - first));
}

std::string signal_text(int signal) {
  const char* name = strsignal(signal);
  return "killed by signal " + std::to_string(signal) +
         (name ? std::string(" (") + name + ")" : "");
}

std::string seconds_text(double seconds) {
  std::string text = std::to_string(seconds);
  text.erase(text.find_last_not_of('0') + 1);
  if (text.back() == '.') text.pop_back();
  return text;
}

// What went wrong, as the message tells it; a run that exits with 0 and
// says nothing gave no verdict.
Outcome failure(const std::string& message, int code) {
  if (!message.empty()) return {Verdict::Error, message};
  if (code == 0) return {Verdict::Error, kNoVerdict};
  return {Verdict::Error, "qirn exited with status " + std::to_string(code)};
}

// The verdict qirn's object tells; a stop is told by the last line of its
// message, which is what qirn wrote last on standard error before --json
// added the place of a stop on bad input after it.
Outcome from_report(const QirnReport& report, const std::string& message, int code) {
  if (report.verdict == "pass") return {Verdict::Pass, report.line};
  if (report.verdict == "violation") return {Verdict::Violation, report.line};
  if (report.verdict == "error") {
    const std::string stop = last_line(report.error);
    return failure(stop.empty() ? message : stop, code);
  }
  return {Verdict::Error, kNoVerdict};
}

}  // namespace

const char* verdict_name(Verdict verdict) {
  switch (verdict) {
    case Verdict::Pass:
      return "pass";
    case Verdict::Violation:
      return "violation";
    case Verdict::Error:
      return "error";
    case Verdict::Timeout:
      return "timeout";
  }
  return "error";
}

void ErrorText::add(std::string_view bytes) {
  text_.append(bytes.substr(0, kErrorTextLimit - std::min(kErrorTextLimit, text_.size())));
}

std::string ErrorText::message() const {
  return last_line(text_);
}

Outcome classify(const std::optional<QirnReport>& report, const ErrorText& err, Ending ending,
                 double timeout) {
  const std::string message = err.message();
  switch (ending.kind) {
    case Ending::Kind::TimedOut:
      return {Verdict::Timeout, "no verdict within the limit of " + seconds_text(timeout) + " s"};
    case Ending::Kind::Signaled:
      return {Verdict::Error, signal_text(ending.code) + (message.empty() ? "" : ": " + message)};
    case Ending::Kind::Exited:
      break;
  }
  Outcome outcome =
      report ? from_report(*report, message, ending.code) : failure(message, ending.code);
  outcome.status = ending.code;
  return outcome;
}

}  // namespace qirn_batch
