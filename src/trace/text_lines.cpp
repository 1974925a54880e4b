#include "trace/text_lines.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

// Reads the line in chunks through fgets. A NUL byte may be part of a line,
// so a chunk's length is not taken from its terminating NUL: the buffer is
// filled with newlines first, and the first newline in it is either the
// line's own (fgets stops right after it) or the first byte fgets left
// untouched, just after the NUL it wrote.
bool read_whole_line(FILE* file, std::string& line) {
  line.clear();
  char chunk[4096];
  for (;;) {
    std::memset(chunk, '\n', sizeof chunk);
    if (std::fgets(chunk, sizeof chunk, file) == nullptr) break;
    const auto* newline = static_cast<const char*>(std::memchr(chunk, '\n', sizeof chunk));
    if (newline == nullptr) {
      line.append(chunk, sizeof chunk - 1);
      continue;
    }
    // fgets wrote a NUL right after the line's own newline; after an end of
    // file without one, the NUL lies just before the first untouched byte.
    const auto at = static_cast<std::size_t>(newline - chunk);
    const bool own = at + 1 < sizeof chunk && newline[1] == '\0';
    line.append(chunk, own ? at + 1 : at - 1);
    break;
  }
  return !line.empty();
}

bool is_comment_line(const std::string& line) {
  return !line.empty() && line[0] == '#';
}

bool is_blank_line(const std::string& line) {
  if (line.empty() || line.back() != '\n') return false;
  return line.find_first_not_of(' ') == line.size() - 1;
}

FILE* open_processor_file(const std::string& prefix, int processor) {
  const std::string name = prefix + "." + std::to_string(processor);
  return std::fopen(name.c_str(), "r");
}

bool ItemScanner::skip_space() {
  while (std::isspace(static_cast<unsigned char>(*at_)) != 0) ++at_;
  if (*at_ != '\0') return true;
  ended_ = true;
  stopped_ = true;
  return false;
}

ItemScanner& ItemScanner::word(std::string* text) {
  if (stopped_ || !skip_space()) return *this;
  const char* start = at_;
  while (*at_ != '\0' && std::isspace(static_cast<unsigned char>(*at_)) == 0) ++at_;
  if (text != nullptr) text->assign(start, at_);
  ++items_.count;
  return *this;
}

ItemScanner& ItemScanner::number(std::int32_t& value) {
  if (stopped_ || !skip_space()) return *this;
  char* end = nullptr;
  const int saved_errno = errno;
  errno = 0;
  const long long read = std::strtoll(at_, &end, 10);
  const bool overflow = errno == ERANGE;
  errno = saved_errno;
  if (end == at_) {
    stopped_ = true;
    return *this;
  }
  using limits = std::numeric_limits<std::int32_t>;
  if (overflow || read < limits::min() || read > limits::max()) {
    items_.out_of_range = true;
    value = read < 0 ? limits::min() : limits::max();
  } else {
    value = static_cast<std::int32_t>(read);
  }
  at_ = end;
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
