#include "batch/verdict.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstring>

namespace qirn_batch {
namespace {

// Every model's verdict lines. A run that prints a cycle, or a line that
// says no order exists, shows a violation. The last such line is the
// verdict: an ScC run whose graph already has a cycle prints "before add go
// arc!" and then, after its search, "no path can be found!" or "no cycle!",
// and the cycle stands in the second case too.
constexpr std::string_view kCycleHeader = "Find a consistency violation:";
constexpr std::array<std::string_view, 5> kViolationLines = {
    "find cycle", "has violation!", "no path can be found!", "before add arc!",
    "before add go arc!"};
constexpr std::array<std::string_view, 2> kPassLines = {"no cycle!", "no violation!"};

// The one violation that ends a run with status 255.
constexpr std::string_view kWriteToViolation = "Find a write-to consistency violation";

constexpr size_t kLongestVerdictLine = 64;
constexpr size_t kErrorTextLimit = 64 * 1024;

bool is_one_of(std::string_view text, const auto& lines) {
  return std::find(lines.begin(), lines.end(), text) != lines.end();
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

Outcome from_output(const OutputScan& out) {
  if (!out.violationLine().empty()) return {Verdict::Violation, out.violationLine()};
  if (out.cyclePrinted()) return {Verdict::Violation, std::string(kCycleHeader)};
  if (!out.passLine().empty()) return {Verdict::Pass, out.passLine()};
  return {Verdict::Error, "no verdict in qirn's output"};
}

Outcome from_exit(const OutputScan& out, const std::string& message, int code) {
  Outcome outcome;
  if (code == 0) {
    outcome = from_output(out);
  } else if (message == kWriteToViolation) {
    outcome = {Verdict::Violation, message};
  } else {
    outcome.detail = message.empty() ? "qirn exited with status " + std::to_string(code) : message;
  }
  outcome.status = code;
  return outcome;
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

void OutputScan::add(std::string_view bytes) {
  for (size_t newline; (newline = bytes.find('\n')) != std::string_view::npos;) {
    partial_.append(bytes.substr(0, newline));
    if (!overlong_) line(partial_);
    partial_.clear();
    overlong_ = false;
    bytes.remove_prefix(newline + 1);
  }
  partial_.append(bytes);
  if (partial_.size() > kLongestVerdictLine) {
    overlong_ = true;
    partial_.clear();
  }
}

void OutputScan::finish() {
  if (!overlong_ && !partial_.empty()) line(partial_);
  partial_.clear();
  overlong_ = false;
}

void OutputScan::line(std::string_view text) {
  if (text == kCycleHeader) cycle_ = true;
  if (is_one_of(text, kViolationLines)) violation_ = text;
  if (is_one_of(text, kPassLines)) pass_ = text;
}

void ErrorText::add(std::string_view bytes) {
  text_.append(bytes.substr(0, kErrorTextLimit - std::min(kErrorTextLimit, text_.size())));
}

std::string ErrorText::message() const {
  const size_t end = text_.find_last_not_of(" \t\r\n");
  if (end == std::string::npos) return {};
  const size_t newline = text_.find_last_of('\n', end);
  const size_t first = newline == std::string::npos ? 0 : newline + 1;
  return text_.substr(first, end + 1 - first);
}

Outcome classify(const OutputScan& out, const ErrorText& err, Ending ending, double timeout) {
  const std::string message = err.message();
  switch (ending.kind) {
    case Ending::Kind::TimedOut:
      return {Verdict::Timeout, "no verdict within the limit of " + seconds_text(timeout) + " s"};
    case Ending::Kind::Signaled:
      return {Verdict::Error, signal_text(ending.code) + (message.empty() ? "" : ": " + message)};
    case Ending::Kind::Exited:
      break;
  }
  return from_exit(out, message, ending.code);
}

}  // namespace qirn_batch
