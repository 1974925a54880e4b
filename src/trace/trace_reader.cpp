#include "trace/trace_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "report/diagnostics.h"
#include "run/workers.h"
#include "trace/text_lines.h"

TraceLine classify_trace_line(const std::string& line) {
  if (is_comment_line(line)) return TraceLine::Comment;
  if (is_blank_line(line)) return TraceLine::Blank;
  if (std::strstr(line.c_str(), "acquire") != nullptr) return TraceLine::Acquire;
  if (std::strstr(line.c_str(), "release") != nullptr) return TraceLine::Release;
  return TraceLine::Access;
}

ScannedItems parse_lock_line(const std::string& line, int_t& lock) {
  return ItemScanner(line).word().number(lock).items();
}

ScannedItems parse_access_line(const std::string& line, std::string& word, int_t& addr, int_t& val,
                               int_t& written) {
  ItemScanner scanner(line);
  scanner.word(&word).number(addr).number(val);
  if (word == "rmw") scanner.number(written);
  return scanner.items();
}

namespace {

bool is_operation_line(const std::string& line) {
  const TraceLine kind = classify_trace_line(line);
  return kind != TraceLine::Comment && kind != TraceLine::Blank;
}

// Opens every processor's trace before any is read. The list grows with the
// files actually opened, so a huge processor count with missing files fails on
// the first missing one instead of reserving room for all of them.
void open_trace_files(OpenFiles& files) {
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    FILE* file = open_processor_file(state->QIRNTFRES, p);
    if (file == nullptr) err_sys("open test result file");
    files.add(file);
  }
}

// An address or lock number must be a valid index, and one past the largest
// must still fit int_t, since it is the count of addresses or of locks.
bool is_location_number(const ScannedItems& items, int_t number) {
  return !items.out_of_range && number >= 0 && number < std::numeric_limits<int_t>::max();
}

std::size_t at(int_t index) {
  return static_cast<std::size_t>(index);
}

// What is wrong with an operation line, if anything. Lines are read apart
// from the run, perhaps in another thread; the run reports the first fault in
// processor order, as reading the files one after the other would.
enum class LineFault { None, LockItems, AccessItems, OpType, Number };

// Acquire and release lines: a lock number, never negative.
LineFault parse_lock_operation(const std::string& line, opnode& node, int_t kind_val) {
  int_t lock = 0;
  const ScannedItems items = parse_lock_line(line, lock);
  if (items.count < 2) return LineFault::LockItems;
  if (!is_location_number(items, lock)) return LineFault::Number;
  node.optype = SYNC;
  node.addr = lock;
  node.val = kind_val;
  return LineFault::None;
}

LineFault parse_access_operation(const std::string& line, opnode& node) {
  std::string word;
  int_t addr = 0;
  int_t val = 0;
  int_t written = 0;
  const ScannedItems items = parse_access_line(line, word, addr, val, written);
  if (items.count >= 1 && word == "fence") {
    read_fence(node);
    return LineFault::None;
  }
  const int_t needed = word == "rmw" ? 4 : 3;
  if (items.count < needed) return LineFault::AccessItems;
  if (word == "load") {
    node.optype = LOAD;
  } else if (word == "store") {
    node.optype = STORE;
  } else if (word == "rmw") {
    node.optype = RMW;
  } else {
    return LineFault::OpType;
  }
  if (!is_location_number(items, addr)) return LineFault::Number;
  node.addr = addr;
  node.val = node.optype == RMW ? written : val;
  node.readVal = node.optype == RMW ? val : 0;
  return LineFault::None;
}

LineFault parse_operation(const std::string& line, opnode& node) {
  switch (classify_trace_line(line)) {
    case TraceLine::Acquire:
      return parse_lock_operation(line, node, 0);
    case TraceLine::Release:
      return parse_lock_operation(line, node, 1);
    default:
      return parse_access_operation(line, node);
  }
}

// Operation k of processor p, on `line`, has `fault`: a lock line without its
// number is echoed (an acquire without a newline), an access line without
// its items is named by processor and operation.
[[noreturn]] void report_line_fault(LineFault fault, const std::string& line, int_t p, int_t k) {
  if (fault == LineFault::LockItems) {
    const bool acquire = classify_trace_line(line) == TraceLine::Acquire;
    std::fprintf(state->out, acquire ? "%s" : "%s\n", line.c_str());
  }
  if (fault == LineFault::AccessItems) std::fprintf(state->out, "%d  %d\n", p, k);
  if (fault == LineFault::OpType) err_quit("op type format is error");
  err_quit("test result file format error");
}

// How reading one processor's trace into its nodes ended.
struct TraceFileRead {
  LineFault fault = LineFault::None;
  bool miscounted = false;  // more or fewer operations than counted
  std::int64_t line = 0;    // the last line read
  int_t operation = 0;      // the operation of a faulty line, and its text
  std::string text;
};

// Fills processor p's nodes; stops at the first faulty line, or at an
// operation beyond the count, since a file that grew since it was counted
// must not write past its nodes.
TraceFileRead read_trace_file(FILE* file, int_t p) {
  TraceFileRead read;
  std::vector<opnode>& nodes = state->graph[at(p)];
  LineReader lines(file);
  std::string line;
  int_t k = 0;
  while (lines.next(line)) {
    read.line = lines.line_number();
    if (!is_operation_line(line)) continue;
    if (k >= state->procOpNum[p]) {
      read.miscounted = true;
      return read;
    }
    read.fault = parse_operation(line, nodes[at(k)]);
    if (read.fault != LineFault::None) {
      read.operation = k;
      read.text = line;
      return read;
    }
    ++k;
  }
  read.miscounted = k != state->procOpNum[p];
  return read;
}

// Stops the run if reading processor p's trace met a fault.
void report_trace_file(const TraceFileRead& read, int_t p) {
  note_reading(state->QIRNTFRES, p);
  state->readingLine = read.line;
  QIRN_ISVALID(!read.miscounted, kTraceCountSite);
  if (read.fault != LineFault::None) report_line_fault(read.fault, read.text, p, read.operation);
}

}  // namespace

void read_fence(opnode& node) {
  node.optype = FENCE;
}

void get_proc_op_num() {
  OpenFiles files;
  open_trace_files(files);
  state->procOpNum.assign(static_cast<std::size_t>(state->NPROCESSOR), 0);
  std::string line;
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    LineReader lines(files[p]);
    while (lines.next(line)) {
      if (is_operation_line(line)) ++state->procOpNum[p];
    }
  }
  done_reading();
}

int_t read_result() {
  OpenFiles files;
  open_trace_files(files);
  std::vector<TraceFileRead> reads(at(state->NPROCESSOR));
  for_each_processor([&](int_t p) { reads[at(p)] = read_trace_file(files[p], p); });
  for (int_t p = 0; p < state->NPROCESSOR; ++p) report_trace_file(reads[at(p)], p);
  done_reading();
  return 0;
}

namespace {

// The position of `number` in the sorted list, or -1.
int_t rank_in(const std::vector<int_t>& sorted, int_t number) {
  const auto found = std::lower_bound(sorted.begin(), sorted.end(), number);
  if (found == sorted.end() || *found != number) return -1;
  return static_cast<int_t>(found - sorted.begin());
}

void sort_unique(std::vector<int_t>& numbers) {
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
}

}  // namespace

void get_addr_lock_num() {
  std::vector<int_t> addresses;
  std::vector<int_t> locks;
  for (const auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (is_acquire(&node)) locks.push_back(node.addr);
      if (is_access(&node)) addresses.push_back(node.addr);
      if (node.optype == RMW) state->hasRmw = true;
    }
  }
  sort_unique(addresses);
  sort_unique(locks);
  state->addrNum = addresses.empty() ? 0 : addresses.back() + 1;
  state->lockNum = locks.empty() ? 0 : locks.back() + 1;
  state->addrColumns = static_cast<int_t>(addresses.size());
  state->lockColumns = static_cast<int_t>(locks.size());
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      node.column = rank_in(node.optype == SYNC ? locks : addresses, node.addr);
    }
  }
}
