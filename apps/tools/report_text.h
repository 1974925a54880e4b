// Text forms shared by the companion tools' reports: UTF-8 sequences, JSON
// string literals and words a POSIX shell reads back unchanged.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace qirn_tools {

// Length of the UTF-8 sequence that starts text (not empty), 0 when it is
// not one.
inline size_t utf8_length(std::string_view text) {
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

// A JSON string literal of text. Bytes that are not UTF-8 become U+FFFD.
inline std::string json_string(std::string_view text) {
  std::string json = "\"";
  while (!text.empty()) {
    const size_t length = utf8_length(text);
    const unsigned char c = static_cast<unsigned char>(text[0]);
    if (length != 1) {
      json += length == 0 ? "\\ufffd" : text.substr(0, length);
    } else if (c == '"' || c == '\\') {
      json += {'\\', static_cast<char>(c)};
    } else if (c < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      json += c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : escape;
    } else {
      json += static_cast<char>(c);
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return json + '"';
}

// text in single quotes, each quote in it written '\''.
inline std::string shell_word(std::string_view text) {
  std::string word = "'";
  for (const char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

}  // namespace qirn_tools
