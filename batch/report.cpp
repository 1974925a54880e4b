#include "batch/report.h"

#include <cstdio>

namespace qirn_batch {
namespace {

std::string fixed3(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// Length of the UTF-8 sequence that starts text, 0 when it is not one.
size_t utf8_length(std::string_view text) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  // Lead bytes and the range of the byte after them (no overlong forms, no
  // surrogates, nothing above U+10FFFF).
  struct Form {
    unsigned char first, last, length, low, high;
  };
  static constexpr Form kForms[] = {{0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF},
                                    {0xE1, 0xEC, 3, 0x80, 0xBF}, {0xED, 0xED, 3, 0x80, 0x9F},
                                    {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
                                    {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F}};
  for (const Form& form : kForms) {
    if (lead < form.first || lead > form.last) continue;
    if (text.size() < form.length || byte(1) < form.low || byte(1) > form.high) return 0;
    for (size_t i = 2; i < form.length; ++i) {
      if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return form.length;
  }
  return 0;
}

std::string escaped(unsigned char c) {
  switch (c) {
    case '"':
      return "\\\"";
    case '\\':
      return "\\\\";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
  }
  char text[8];
  std::snprintf(text, sizeof text, "\\u%04x", c);
  return c < 0x20 ? text : std::string(1, static_cast<char>(c));
}

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

}  // namespace

std::string field_text(std::string_view text) {
  std::string field;
  for (const char c : text) {
    const bool special = c == '\\' || c == '\t' || c == '\n' || c == '\r';
    field += special ? escaped(static_cast<unsigned char>(c)) : std::string(1, c);
  }
  return field;
}

std::string result_line(const TraceSet& set, const Outcome& outcome) {
  return field_text(set.path) + '\t' + verdict_name(outcome.verdict) + '\t' +
         field_text(outcome.detail) + '\t' + fixed3(outcome.seconds) + '\n';
}

std::string json_string(std::string_view text) {
  std::string json = "\"";
  while (!text.empty()) {
    const size_t length = utf8_length(text);
    if (length == 1) {
      json += escaped(static_cast<unsigned char>(text[0]));
    } else {
      json += length == 0 ? "\\ufffd" : text.substr(0, length);
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return json + '"';
}

std::string json_object(const TraceSet& set, const RunSettings& settings, const Outcome& outcome) {
  const std::string exactPath = is_utf8(set.path) ? "" : ",\"path_hex\":\"" + hex(set.path) + '"';
  return "{\"path\":" + json_string(set.path) + exactPath +
         ",\"model\":" + json_string(settings.model) + ",\"mode\":\"" +
         (settings.baseline ? "baseline" : "optimized") +
         "\",\"processors\":" + std::to_string(set.processors) + ",\"verdict\":\"" +
         verdict_name(outcome.verdict) + "\",\"detail\":" + json_string(outcome.detail) +
         ",\"status\":" + (outcome.status < 0 ? "null" : std::to_string(outcome.status)) +
         ",\"seconds\":" + fixed3(outcome.seconds) + "}\n";
}

int Tally::total() const {
  return counts_[0] + counts_[1] + counts_[2] + counts_[3];
}

int Tally::exit_status() const {
  if (count(Verdict::Error) + count(Verdict::Timeout) > 0) return 2;
  return count(Verdict::Violation) > 0 ? 1 : 0;
}

std::string Tally::summary(double seconds) const {
  return std::to_string(total()) + (total() == 1 ? " set: " : " sets: ") +
         std::to_string(count(Verdict::Pass)) + " pass, " +
         std::to_string(count(Verdict::Violation)) + " violation, " +
         std::to_string(count(Verdict::Error)) + " error, " +
         std::to_string(count(Verdict::Timeout)) + " timeout, " + fixed3(seconds) + " s\n";
}

}  // namespace qirn_batch
