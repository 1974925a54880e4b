#include "batch/junit.h"

#include <algorithm>

#include "batch/report.h"
#include "tools/report_text.h"

namespace qirn_batch {
namespace {

// Whether one UTF-8 character may stand in an XML 1.0 document.
bool xml_char(std::string_view character) {
  const unsigned char c = static_cast<unsigned char>(character[0]);
  if (character.size() == 1) return c >= 0x20 || c == '\t' || c == '\n' || c == '\r';
  return character != "\xEF\xBF\xBE" && character != "\xEF\xBF\xBF";
}

const char* xml_escape(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\t':
      return "&#9;";
    case '\n':
      return "&#10;";
    case '\r':
      return "&#13;";
  }
  return nullptr;
}

// A word of a shell command, quoted unless it needs no quotes.
std::string shell_text(const std::string& word) {
  const bool plain = !word.empty() && word.find_first_not_of(
                                          "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                          "0123456789_./-") == std::string::npos;
  return plain ? word : qirn_tools::shell_word(word);
}

std::string attribute(const char* name, std::string_view value) {
  return std::string(" ") + name + "=\"" + xml_text(value) + '"';
}

std::string counts(int tests, int failures, int errors, double seconds) {
  return attribute("tests", std::to_string(tests)) +
         attribute("failures", std::to_string(failures)) +
         attribute("errors", std::to_string(errors)) + attribute("time", fixed3(seconds));
}

// What went wrong with a set, or an empty text when it is fine.
std::string failure_message(const Outcome& outcome, const Expectation* expected) {
  const std::string got = std::string(verdict_name(outcome.verdict)) + ": " + outcome.detail;
  if (expected == nullptr) return outcome.verdict == Verdict::Pass ? "" : got;
  if (matches(*expected, outcome.verdict)) return "";
  if (expected->verdict.empty()) return expected->problem + "; got " + got;
  return "expected " + expected->verdict + ", got " + got;
}

}  // namespace

std::string xml_text(std::string_view text) {
  std::string xml;
  while (!text.empty()) {
    const size_t length = std::max<size_t>(qirn_tools::utf8_length(text), 1);
    const std::string_view character = text.substr(0, length);
    const bool valid = qirn_tools::utf8_length(text) != 0 && xml_char(character);
    const char* escape = length == 1 ? xml_escape(text[0]) : nullptr;
    xml += !valid              ? "\xEF\xBF\xBD"
           : escape != nullptr ? std::string(escape)
                               : std::string(character);
    text.remove_prefix(length);
  }
  return xml;
}

std::string reproduce_command(const TraceSet& set, const RunSettings& settings) {
  std::string command = "cd " + qirn_tools::shell_word(set.path) + " &&";
  for (const std::string& word : qirn_arguments(set, settings)) {
    command += ' ';
    command += shell_text(word);
  }
  return command;
}

void JunitReport::add(const TraceSet& set, const Outcome& outcome, const Expectation* expected,
                      const std::string& regenerate) {
  ++tests_;
  const std::string classname = settings_.model + (settings_.baseline ? ".baseline" : ".optimized");
  cases_ += "    <testcase" + attribute("name", set.path) + attribute("classname", classname) +
            attribute("time", fixed3(outcome.seconds));
  const std::string message = failure_message(outcome, expected);
  if (message.empty()) {
    cases_ += "/>\n";
    return;
  }
  const bool verified = outcome.verdict == Verdict::Pass || outcome.verdict == Verdict::Violation;
  ++(verified ? failures_ : errors_);
  const char* element = verified ? "failure" : "error";
  cases_ += ">\n      <" + std::string(element) + attribute("message", message) +
            attribute("type", verified && expected ? "unexpected" : verdict_name(outcome.verdict)) +
            ">" +
            xml_text("reproduce: " + reproduce_command(set, settings_) +
                     (regenerate.empty() ? "" : "\nregenerate: " + regenerate)) +
            "</" + element + ">\n    </testcase>\n";
}

std::string JunitReport::text(double seconds) const {
  const std::string totals = counts(tests_, failures_, errors_, seconds);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + totals +
         ">\n  <testsuite name=\"qirn-batch\"" + totals + ">\n" + cases_ +
         "  </testsuite>\n</testsuites>\n";
}

}  // namespace qirn_batch
