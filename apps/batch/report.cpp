#include "batch/report.h"

#include <cstdio>

#include "tools/report_text.h"

namespace qirn_batch {
namespace {

using qirn_tools::utf8_length;

bool is_utf8(std::string_view text) {
  for (size_t length; !text.empty(); text.remove_prefix(length)) {
    if ((length = utf8_length(text)) == 0) return false;
  }
  return true;
}

// The bytes of text as two lowercase hexadecimal digits each.
std::string hex(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string digits;
  for (const unsigned char c : text) digits += {kDigits[c >> 4], kDigits[c & 15]};
  return digits;
}

std::string expected_member(const Expectation* expected) {
  if (expected == nullptr) return "";
  return ",\"expected\":" + (expected->verdict.empty() ? "null" : json_string(expected->verdict));
}

}  // namespace

std::string fixed3(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

std::string field_text(std::string_view text) {
  std::string field;
  for (const char c : text) {
    const char* escape = c == '\\'   ? "\\\\"
                         : c == '\t' ? "\\t"
                         : c == '\n' ? "\\n"
                         : c == '\r' ? "\\r"
                                     : nullptr;
    field += escape != nullptr ? std::string(escape) : std::string(1, c);
  }
  return field;
}

std::string result_line(const TraceSet& set, const Outcome& outcome) {
  return field_text(set.path) + '\t' + verdict_name(outcome.verdict) + '\t' +
         field_text(outcome.detail) + '\t' + fixed3(outcome.seconds) + '\n';
}

std::string json_object(const TraceSet& set, const RunSettings& settings, const Outcome& outcome,
                        const Expectation* expected) {
  const std::string exactPath = is_utf8(set.path) ? "" : ",\"path_hex\":\"" + hex(set.path) + '"';
  return "{\"path\":" + json_string(set.path) + exactPath +
         ",\"model\":" + json_string(settings.model) + ",\"mode\":\"" +
         (settings.baseline ? "baseline" : "optimized") +
         "\",\"processors\":" + std::to_string(set.processors) + ",\"verdict\":\"" +
         verdict_name(outcome.verdict) + "\",\"detail\":" + json_string(outcome.detail) +
         ",\"status\":" + (outcome.status < 0 ? "null" : std::to_string(outcome.status)) +
         ",\"seconds\":" + fixed3(outcome.seconds) + expected_member(expected) + "}\n";
}

void Tally::add(Verdict verdict, const Expectation* expected) {
  ++counts_[static_cast<int>(verdict)];
  if (expected != nullptr && !matches(*expected, verdict)) ++unexpected_;
}

int Tally::total() const {
  return counts_[0] + counts_[1] + counts_[2] + counts_[3];
}

int Tally::exit_status() const {
  if (count(Verdict::Error) + count(Verdict::Timeout) > 0) return 2;
  return (expecting_ ? unexpected_ : count(Verdict::Violation)) > 0 ? 1 : 0;
}

std::string Tally::summary(double seconds) const {
  return std::to_string(total()) + (total() == 1 ? " set: " : " sets: ") +
         std::to_string(count(Verdict::Pass)) + " pass, " +
         std::to_string(count(Verdict::Violation)) + " violation, " +
         std::to_string(count(Verdict::Error)) + " error, " +
         std::to_string(count(Verdict::Timeout)) + " timeout, " +
         (expecting_ ? std::to_string(unexpected_) + " unexpected, " : "") + fixed3(seconds) +
         " s\n";
}

}  // namespace qirn_batch
