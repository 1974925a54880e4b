#include "batch/qirn_report.h"

#include <functional>

namespace qirn_batch {
namespace {

// Nesting deeper than qirn's object ever goes is refused, so that no text
// can exhaust the stack.
constexpr int kDeepest = 16;

// Reads JSON values from the front of a text, moving past them. Every
// reader returns false on malformed text.
class JsonReader {
 public:
  using Member = std::function<bool(const std::string& key)>;

  explicit JsonReader(std::string_view text) : text_(text) {}

  bool at_end() {
    skip_blanks();
    return text_.empty();
  }

  // An object: member is called with each key, with the reader at its value,
  // which it must read.
  bool object(const Member& member) {
    if (!take('{') || ++depth_ > kDeepest) return false;
    if (!take('}')) {
      do {
        std::string key;
        if (!string(key) || !take(':') || !member(key)) return false;
      } while (take(','));
      if (!take('}')) return false;
    }
    --depth_;
    return true;
  }

  bool string(std::string& out) {
    if (!take('"')) return false;
    out.clear();
    while (!text_.empty() && text_.front() != '"') {
      const char c = next();
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
      } else if (!escape(out)) {
        return false;
      }
    }
    return take('"');
  }

  bool null() { return literal("null"); }

  // A string, or null read as the empty string.
  bool string_or_null(std::string& out) {
    out.clear();
    return null() || string(out);
  }

  bool skip_value() {
    skip_blanks();
    if (text_.empty()) return false;
    std::string ignored;
    switch (text_.front()) {
      case '{':
        return object([this](const std::string&) { return skip_value(); });
      case '[':
        return array();
      case '"':
        return string(ignored);
      default:
        return null() || literal("true") || literal("false") || number();
    }
  }

 private:
  void skip_blanks() {
    while (!text_.empty() && (text_.front() == ' ' || text_.front() == '\t' ||
                              text_.front() == '\n' || text_.front() == '\r')) {
      text_.remove_prefix(1);
    }
  }

  char next() {
    const char c = text_.front();
    text_.remove_prefix(1);
    return c;
  }

  bool take(char c) {
    skip_blanks();
    if (text_.empty() || text_.front() != c) return false;
    text_.remove_prefix(1);
    return true;
  }

  bool literal(std::string_view word) {
    skip_blanks();
    if (!text_.starts_with(word)) return false;
    text_.remove_prefix(word.size());
    return true;
  }

  bool number() {
    const size_t length = text_.find_first_not_of("+-.0123456789eE");
    if (length == 0) return false;
    text_.remove_prefix(length == std::string_view::npos ? text_.size() : length);
    return true;
  }

  bool array() {
    if (!take('[') || ++depth_ > kDeepest) return false;
    if (!take(']')) {
      do {
        if (!skip_value()) return false;
      } while (take(','));
      if (!take(']')) return false;
    }
    --depth_;
    return true;
  }

  bool escape(std::string& out) {
    if (text_.empty()) return false;
    const char c = next();
    static constexpr std::string_view kFrom = "\"\\/bfnrt", kTo = "\"\\/\b\f\n\r\t";
    if (const size_t at = kFrom.find(c); at != std::string_view::npos) {
      out += kTo[at];
      return true;
    }
    return c == 'u' && code_point(out);
  }

  // \uXXXX, written as UTF-8; qirn escapes only control characters so.
  bool code_point(std::string& out) {
    if (text_.size() < 4) return false;
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = next();
      const size_t digit = std::string_view("0123456789abcdef").find(c | 0x20);
      if (digit == std::string_view::npos) return false;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    if (value < 0x80) {
      out += static_cast<char>(value);
    } else if (value < 0x800) {
      out += static_cast<char>(0xc0 | (value >> 6));
      out += static_cast<char>(0x80 | (value & 0x3f));
    } else {
      out += static_cast<char>(0xe0 | (value >> 12));
      out += static_cast<char>(0x80 | ((value >> 6) & 0x3f));
      out += static_cast<char>(0x80 | (value & 0x3f));
    }
    return true;
  }

  std::string_view text_;
  int depth_ = 0;
};

}  // namespace

std::optional<QirnReport> read_qirn_report(std::string_view text) {
  JsonReader reader(text);
  QirnReport report;
  bool hasVerdict = false;
  const auto error = [&](const std::string& key) {
    return key == "message" ? reader.string(report.error) : reader.skip_value();
  };
  const auto member = [&](const std::string& key) {
    if (key == "verdict") return hasVerdict = reader.string(report.verdict);
    if (key == "line") return reader.string_or_null(report.line);
    if (key == "error") return reader.null() || reader.object(error);
    return reader.skip_value();
  };
  if (!reader.object(member) || !reader.at_end() || !hasVerdict) return std::nullopt;
  return report;
}

}  // namespace qirn_batch
