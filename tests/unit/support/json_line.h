// A reader for the one-line JSON objects that qirn-batch writes: a flat
// object of strings, numbers and null. Anything else fails the test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct JsonValue {
  enum class Kind { String, Number, Null } kind;
  std::string text;  // the string, or the number as written
};

// The string literal at the front of text, its escapes decoded, moving text
// past it; nullopt when it is malformed.
std::optional<std::string> read_json_string(std::string_view& text);

// The object on line, or nullopt when the line is not one.
std::optional<std::map<std::string, JsonValue>> read_json_object(std::string_view line);
