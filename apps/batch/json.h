// A small JSON reader for the manifests beside generated trace sets. It
// takes any text: whatever is not one well-formed JSON value, or nests
// deeper than kMaxJsonDepth, is refused, never a crash.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qirn_batch {

// Arrays and objects nested deeper than this are refused.
inline constexpr int kMaxJsonDepth = 64;

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  std::string text;  // a string decoded to UTF-8; a number or true/false as written
  // An object's members in order with their names, or an array's items with
  // empty names. Names apart from values, since a pair would need Json
  // complete here.
  std::vector<std::string> names;
  std::vector<Json> members;

  // The object's last member named key, or nullptr when there is none or
  // this is not an object.
  const Json* find(std::string_view key) const;
  // The string at the end of the path of member names, or nullptr.
  const std::string* string_at(std::initializer_list<std::string_view> path) const;
};

// The value that text holds, with white space around it allowed.
std::optional<Json> parse_json(std::string_view text);

}  // namespace qirn_batch
