#include "trace/one_file_trace.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "report/diagnostics.h"
#include "trace/text_lines.h"
#include "trace/trace_reader.h"

namespace {

// A decimal number as written: its sign and its magnitude, which saturates
// instead of wrapping, so that any run of digits reads and the range check
// sees how large it was.
struct Written {
  bool negative = false;
  std::uint64_t magnitude = 0;

  // Whether it lies in lowest..highest, where lowest <= 0 <= highest.
  bool within(std::int64_t lowest, std::int64_t highest) const {
    if (!negative || magnitude == 0) return magnitude <= static_cast<std::uint64_t>(highest);
    return magnitude <= 0 - static_cast<std::uint64_t>(lowest);
  }
  std::int64_t value() const {  // of a number within int64_t
    return static_cast<std::int64_t>(negative ? 0 - magnitude : magnitude);
  }
};

// Walks a line token by token; blanks (spaces and tabs) may come before each.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool at_end() {
    skip_blanks();
    return at_ == text_.size();
  }
  bool take(std::string_view token) {
    skip_blanks();
    if (text_.substr(at_).substr(0, token.size()) != token) return false;
    at_ += token.size();
    return true;
  }
  // A keyword must not run on into letters or digits ("syncx").
  bool take_word(std::string_view word) {
    const std::size_t from = at_;
    if (!take(word)) return false;
    if (at_ < text_.size() && is_word_char(text_[at_])) {
      at_ = from;
      return false;
    }
    return true;
  }
  // Digits, after a "-" when `sign` allows one; false when there are none.
  bool number(Written& written, bool sign) {
    skip_blanks();
    std::size_t at = at_;
    written = Written{};
    if (sign && at < text_.size() && text_[at] == '-') {
      written.negative = true;
      ++at;
    }
    const std::size_t digits = at;
    constexpr std::uint64_t kMost = std::numeric_limits<std::uint64_t>::max();
    for (; at < text_.size() && is_digit(text_[at]); ++at) {
      const auto digit = static_cast<std::uint64_t>(text_[at] - '0');
      written.magnitude =
          written.magnitude > (kMost - digit) / 10 ? kMost : written.magnitude * 10 + digit;
    }
    if (at == digits) return false;
    at_ = at;
    return true;
  }

 private:
  static bool is_digit(char c) { return c >= '0' && c <= '9'; }
  static bool is_word_char(char c) {
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
  }
  void skip_blanks() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t')) ++at_;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

constexpr std::int64_t kLargestLocation = std::numeric_limits<int_t>::max() - 1;

// "M[A] := V" or "M[A] == V", after the thread's colon.
bool read_access(Cursor& cursor, HeldOperation& operation) {
  Written address;
  Written value;
  if (!cursor.take("M") || !cursor.take("[") || !cursor.number(address, false) ||
      !cursor.take("]")) {
    return false;
  }
  if (cursor.take(":=")) {
    operation.optype = STORE;
  } else if (cursor.take("==")) {
    operation.optype = LOAD;
  } else {
    return false;
  }
  if (!cursor.number(value, true) || !address.within(0, kLargestLocation) ||
      !value.within(std::numeric_limits<int_t>::min(), std::numeric_limits<int_t>::max())) {
    return false;
  }
  operation.addr = static_cast<int_t>(address.value());
  operation.val = static_cast<int_t>(value.value());
  return true;
}

// "{ M[A] == V; M[A] := W }", after the opening brace: a load and a store of
// one address that together make one RMW.
bool read_rmw(Cursor& cursor, HeldOperation& operation) {
  HeldOperation load;
  HeldOperation store;
  if (!read_access(cursor, load) || load.optype != LOAD || !cursor.take(";") ||
      !read_access(cursor, store) || store.optype != STORE || store.addr != load.addr ||
      !cursor.take("}")) {
    return false;
  }
  operation.optype = RMW;
  operation.addr = load.addr;
  operation.readVal = load.val;
  operation.val = store.val;
  return true;
}

// An optional "@ B:E", "@ B:" or "@ :E": integers of 64 bits, at least one.
bool read_times(Cursor& cursor, OperationTimes& times) {
  if (!cursor.take("@")) return true;
  constexpr std::int64_t kLowest = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kHighest = std::numeric_limits<std::int64_t>::max();
  Written begin;
  Written end;
  const bool hasBegin = cursor.number(begin, true);
  if (!cursor.take(":")) return false;
  const bool hasEnd = cursor.number(end, true);
  if (!hasBegin && !hasEnd) return false;
  if ((hasBegin && !begin.within(kLowest, kHighest)) || (hasEnd && !end.within(kLowest, kHighest)))
    return false;
  if (hasBegin) times.begin = begin.value();
  if (hasEnd) times.end = end.value();
  return true;
}

std::string_view without_line_end(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

}  // namespace

OneFileLine parse_one_file_line(std::string_view text) {
  OneFileLine line;
  Cursor cursor(without_line_end(text));
  if (cursor.at_end() || cursor.take("#")) return line;
  line.kind = OneFileLineKind::Malformed;
  Written thread;
  if (!cursor.number(thread, false) || !cursor.take(":")) return line;
  if (!thread.within(0, kLargestOneFileThread)) {
    line.kind = OneFileLineKind::ThreadBeyondLimit;
    return line;
  }
  line.thread = static_cast<int_t>(thread.value());
  if (cursor.take("{")) {
    if (!read_rmw(cursor, line.operation)) return line;
  } else if (cursor.take_word("sync")) {
    line.operation.optype = FENCE;
  } else if (!read_access(cursor, line.operation)) {
    return line;
  }
  if (read_times(cursor, line.operation.times) && cursor.at_end())
    line.kind = OneFileLineKind::Operation;
  return line;
}

namespace {

// Stops the run on a line that holds no operation qirn can take.
void refuse(OneFileLineKind kind) {
  switch (kind) {
    case OneFileLineKind::ThreadBeyondLimit:
      err_quit("%s", kOneFileThreadError);
    default:
      err_quit("%s", kOneFileFormatError);
  }
}

}  // namespace

void read_one_file_trace() {
  state->readingFile = state->traceFile;
  state->readingLine = 0;
  OpenFiles files;
  FILE* file = state->traceInMemory
                   ? fmemopen(state->traceText.data(), state->traceText.size(), "r")
                   : std::fopen(state->traceFile.c_str(), "r");
  if (file == nullptr) err_sys("open test result file");
  files.add(file);
  std::vector<std::vector<HeldOperation>> threads(1);
  LineReader lines(file);
  std::string text;
  while (lines.next(text)) {
    state->readingLine = lines.line_number();
    OneFileLine line = parse_one_file_line(text);
    if (line.kind == OneFileLineKind::Skipped) continue;
    if (line.kind != OneFileLineKind::Operation) refuse(line.kind);
    line.operation.line = lines.line_number();
    const auto thread = static_cast<std::size_t>(line.thread);
    if (thread >= threads.size()) threads.resize(thread + 1);
    threads[thread].push_back(line.operation);
  }
  done_reading();
  state->NPROCESSOR = static_cast<int_t>(threads.size());
  state->procOpNum.clear();
  for (const auto& operations : threads) {
    state->procOpNum.push_back(static_cast<int_t>(operations.size()));
  }
  state->heldOperations = std::move(threads);
}

namespace {

// Keeps the operations' times, when any operation has one.
void keep_times() {
  bool any = false;
  for (const auto& operations : state->heldOperations) {
    for (const HeldOperation& operation : operations)
      any = any || operation.times.begin || operation.times.end;
  }
  if (!any) return;
  for (const auto& operations : state->heldOperations) {
    auto& times = state->operationTimes.emplace_back();
    for (const HeldOperation& operation : operations) times.push_back(operation.times);
  }
}

}  // namespace

void fill_one_file_trace() {
  keep_times();
  state->readingFile = state->traceFile;
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    const auto& operations = state->heldOperations[p];
    for (std::size_t s = 0; s < operations.size(); ++s) {
      const HeldOperation& operation = operations[s];
      opnode& node = state->graph[p][s];
      state->readingLine = operation.line;
      if (operation.optype == FENCE) {
        read_fence(node);
        continue;
      }
      node.optype = operation.optype;
      node.addr = operation.addr;
      node.val = operation.val;
      node.readVal = operation.readVal;
    }
  }
  done_reading();
  state->heldOperations = {};
}
