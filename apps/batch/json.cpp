#include "batch/json.h"

#include <cstdint>

namespace qirn_batch {
namespace {

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  std::optional<Json> document() {
    Json value;
    if (!parse(value, 0)) return std::nullopt;
    skip_space();
    return pos_ == text_.size() ? std::optional(std::move(value)) : std::nullopt;
  }

 private:
  bool parse(Json& value, int depth) {
    skip_space();
    if (pos_ == text_.size()) return false;
    switch (text_[pos_]) {
      case '{':
        value.kind = Json::Kind::Object;
        return members(value, depth, '}');
      case '[':
        value.kind = Json::Kind::Array;
        return members(value, depth, ']');
      case '"':
        value.kind = Json::Kind::String;
        return string(value.text);
      case 't':
      case 'f':
        value.kind = Json::Kind::Bool;
        return word(text_[pos_] == 't' ? "true" : "false", value.text);
      case 'n':
        return word("null", value.text);
    }
    value.kind = Json::Kind::Number;
    return number(value.text);
  }

  // The members of an object or the items of an array, after its opening
  // bracket.
  bool members(Json& value, int depth, char close) {
    if (depth >= kMaxJsonDepth) return false;
    ++pos_;
    skip_space();
    if (take(close)) return true;
    do {
      std::string name;
      skip_space();
      if (close == '}' && !name_and_colon(name)) return false;
      value.names.push_back(std::move(name));
      value.members.emplace_back();
      if (!parse(value.members.back(), depth + 1)) return false;
      skip_space();
    } while (take(','));
    return take(close);
  }

  bool name_and_colon(std::string& name) {
    if (!string(name)) return false;
    skip_space();
    return take(':');
  }

  bool word(std::string_view expected, std::string& text) {
    if (text_.substr(pos_, expected.size()) != expected) return false;
    pos_ += expected.size();
    text = expected;
    return true;
  }

  bool number(std::string& text) {
    const size_t start = pos_;
    take('-');
    if (!take('0') && digits() == 0) return false;
    if (take('.') && digits() == 0) return false;
    if (take('e') || take('E')) {
      if (!take('+')) take('-');
      if (digits() == 0) return false;
    }
    text = text_.substr(start, pos_ - start);
    return true;
  }

  bool string(std::string& text) {
    if (!take('"')) return false;
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c != '\\') {
        text += static_cast<char>(c);
      } else if (!escape(text)) {
        return false;
      }
    }
    return false;
  }

  bool escape(std::string& text) {
    if (pos_ == text_.size()) return false;
    const char c = text_[pos_++];
    static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
    if (const size_t i = kFrom.find(c); i != std::string_view::npos) {
      text += kTo[i];
      return true;
    }
    uint32_t code = 0;
    if (c != 'u' || !hex4(code)) return false;
    const bool high = code >= 0xD800 && code < 0xDC00;
    uint32_t low = 0;
    if (high && text_.substr(pos_, 2) == "\\u") {
      const size_t back = pos_;
      pos_ += 2;
      if (hex4(low) && low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
      } else {
        pos_ = back;
      }
    }
    append_utf8(code >= 0xD800 && code < 0xE000 ? 0xFFFD : code, text);
    return true;
  }

  bool hex4(uint32_t& code) {
    if (text_.size() - pos_ < 4) return false;
    for (int i = 0; i < 4; ++i) {
      const char c = text_[pos_++];
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return false;
      code = code * 16 + static_cast<uint32_t>(digit);
    }
    return true;
  }

  // The lead byte carries the length; each continuation byte six bits.
  static void append_utf8(uint32_t code, std::string& text) {
    const int continuations = code < 0x80 ? 0 : code < 0x800 ? 1 : code < 0x10000 ? 2 : 3;
    static constexpr uint32_t kLead[] = {0x00, 0xC0, 0xE0, 0xF0};
    text.push_back(static_cast<char>(kLead[continuations] | code >> (6 * continuations)));
    for (int k = continuations - 1; k >= 0; --k) {
      text.push_back(static_cast<char>(0x80 | (code >> (6 * k) & 0x3F)));
    }
  }

  size_t digits() {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ - start;
  }

  bool take(char c) {
    if (pos_ == text_.size() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }

  void skip_space() {
    while (pos_ < text_.size() &&
           std::string_view(" \t\n\r").find(text_[pos_]) != std::string_view::npos) {
      ++pos_;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

const Json* Json::find(std::string_view key) const {
  if (kind != Kind::Object) return nullptr;
  for (std::size_t i = members.size(); i-- > 0;) {
    if (names[i] == key) return &members[i];
  }
  return nullptr;
}

const std::string* Json::string_at(std::initializer_list<std::string_view> path) const {
  const Json* value = this;
  for (const std::string_view key : path) {
    if ((value = value->find(key)) == nullptr) return nullptr;
  }
  return value->kind == Kind::String ? &value->text : nullptr;
}

std::optional<Json> parse_json(std::string_view text) {
  return Parser(text).document();
}

}  // namespace qirn_batch
