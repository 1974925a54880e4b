#include "trace/text_lines.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "qirn.h"

bool LineReader::next(std::string& line) {
  line.clear();
  for (;;) {
    if (at_ == end_) {
      at_ = 0;
      end_ = std::fread(block_.data(), 1, block_.size(), file_);
      if (end_ == 0) break;
    }
    const char* from = block_.data() + at_;
    const auto* newline = static_cast<const char*>(std::memchr(from, '\n', end_ - at_));
    const std::size_t taken = newline == nullptr ? end_ - at_ : newline - from + 1;
    line.append(from, taken);
    at_ += taken;
    if (newline != nullptr) break;
  }
  if (line.empty()) return false;
  ++lines_;
  return true;
}

namespace {

// The last line of a file of `size` bytes from its end: the bytes after the
// last newline that is not the final byte. Blocks are read backwards, each
// twice the size of the one before, until that newline or the file's start
// is in view. False when a read fails.
bool last_line_from_end(FILE* file, long size, std::string& line) {
  std::size_t block = 4096;
  for (;;) {
    const long from = size > static_cast<long>(block) ? size - static_cast<long>(block) : 0;
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    if (std::fseek(file, from, SEEK_SET) != 0) return false;
    if (std::fread(tail.data(), 1, tail.size(), file) != tail.size()) return false;
    // The final byte may be the last line's own newline.
    const std::size_t newline =
        tail.size() < 2 ? std::string::npos : tail.rfind('\n', tail.size() - 2);
    if (newline != std::string::npos || from == 0) {
      line = newline == std::string::npos ? tail : tail.substr(newline + 1);
      return true;
    }
    block *= 2;
  }
}

}  // namespace

std::string last_line(FILE* file) {
  std::string last;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size >= 0 && last_line_from_end(file, size, last)) return last;
    std::rewind(file);
  }
  std::string line;
  LineReader lines(file);
  while (lines.next(line)) last.swap(line);
  return last;
}

bool is_comment_line(const std::string& line) {
  return !line.empty() && line[0] == '#';
}

bool is_blank_line(const std::string& line) {
  if (line.empty() || line.back() != '\n') return false;
  return line.find_first_not_of(' ') == line.size() - 1;
}

FILE* open_processor_file(const std::string& prefix, int processor) {
  note_reading(prefix, processor);
  return std::fopen(state->readingFile.c_str(), "r");
}

void note_reading(const std::string& prefix, int processor) {
  state->readingFile = prefix + "." + std::to_string(processor);
  state->readingLine = 0;
}

void done_reading() {
  state->readingFile.clear();
  state->readingLine = 0;
}

namespace {

// The character classes of the "C" locale, which qirn never leaves.
bool is_space(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

bool ItemScanner::skip_space() {
  while (is_space(*at_)) ++at_;
  if (*at_ != '\0') return true;
  ended_ = true;
  stopped_ = true;
  return false;
}

ItemScanner& ItemScanner::word(std::string* text) {
  if (stopped_ || !skip_space()) return *this;
  const char* start = at_;
  while (*at_ != '\0' && !is_space(*at_)) ++at_;
  if (text != nullptr) text->assign(start, at_);
  ++items_.count;
  return *this;
}

// Reads like strtoll in base 10 from a non-blank character: an optional sign
// and then at least one digit. Digits beyond what int32_t can hold are still
// consumed; the value is then clamped and flagged.
ItemScanner& ItemScanner::number(std::int32_t& value) {
  if (stopped_ || !skip_space()) return *this;
  const char* digits = at_ + ((*at_ == '-' || *at_ == '+') ? 1 : 0);
  if (!is_digit(*digits)) {
    stopped_ = true;
    return *this;
  }
  constexpr std::int64_t kBeyond = std::int64_t{1} << 32;
  std::int64_t magnitude = 0;
  for (; is_digit(*digits); ++digits) {
    magnitude = std::min(kBeyond, magnitude * 10 + (*digits - '0'));
  }
  const std::int64_t read = *at_ == '-' ? -magnitude : magnitude;
  using limits = std::numeric_limits<std::int32_t>;
  if (read < limits::min() || read > limits::max()) {
    items_.out_of_range = true;
    value = read < 0 ? limits::min() : limits::max();
  } else {
    value = static_cast<std::int32_t>(read);
  }
  at_ = digits;
  ++items_.count;
  return *this;
}

ItemScanner& ItemScanner::literal(char c) {
  if (stopped_) return *this;
  if (*at_ == '\0') ended_ = true;
  if (*at_ == c) {
    ++at_;
  } else {
    stopped_ = true;
  }
  return *this;
}

ScannedItems ItemScanner::items() const {
  ScannedItems result = items_;
  if (result.count == 0 && ended_) result.count = -1;
  return result;
}
