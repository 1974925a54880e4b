#include "support/json_line.h"

#include <cctype>

namespace {

void append_utf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | code >> 6);
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | code >> 12);
    out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

bool read_escape(std::string_view& text, std::string& out) {
  const char kind = text[0];
  text.remove_prefix(1);
  const std::string_view plain = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
  if (kind != 'u') {
    if (plain.find(kind) == std::string_view::npos) return false;
    out += meaning[plain.find(kind)];
    return true;
  }
  if (text.size() < 4) return false;
  const std::string hex(text.substr(0, 4));
  char* end = nullptr;
  const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
  if (end != hex.c_str() + 4 || (code >= 0xD800 && code <= 0xDFFF)) return false;
  append_utf8(out, static_cast<unsigned>(code));
  text.remove_prefix(4);
  return true;
}

std::optional<JsonValue> read_value(std::string_view& text) {
  if (text.starts_with("null")) {
    text.remove_prefix(4);
    return JsonValue{JsonValue::Kind::Null, ""};
  }
  if (!text.empty() && text[0] == '"') {
    const auto string = read_json_string(text);
    if (!string) return std::nullopt;
    return JsonValue{JsonValue::Kind::String, *string};
  }
  size_t length = 0;
  while (length < text.size() && (std::isdigit(static_cast<unsigned char>(text[length])) ||
                                  text[length] == '.' || text[length] == '-')) {
    ++length;
  }
  if (length == 0) return std::nullopt;
  JsonValue number{JsonValue::Kind::Number, std::string(text.substr(0, length))};
  text.remove_prefix(length);
  return number;
}

bool take(std::string_view& text, char c) {
  if (text.empty() || text[0] != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<std::string> read_json_string(std::string_view& text) {
  if (!take(text, '"')) return std::nullopt;
  std::string out;
  while (!text.empty() && text[0] != '"') {
    const unsigned char c = static_cast<unsigned char>(text[0]);
    if (c < 0x20) return std::nullopt;
    text.remove_prefix(1);
    if (c != '\\') {
      out += static_cast<char>(c);
    } else if (text.empty() || !read_escape(text, out)) {
      return std::nullopt;
    }
  }
  if (!take(text, '"')) return std::nullopt;
  return out;
}

std::optional<std::map<std::string, JsonValue>> read_json_object(std::string_view line) {
  std::map<std::string, JsonValue> object;
  if (!take(line, '{')) return std::nullopt;
  do {
    const auto key = read_json_string(line);
    if (!key || !take(line, ':')) return std::nullopt;
    const auto value = read_value(line);
    if (!value || !object.emplace(*key, *value).second) return std::nullopt;
  } while (take(line, ','));
  if (!take(line, '}') || !line.empty()) return std::nullopt;
  return object;
}
