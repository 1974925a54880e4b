#include "trace/trace_reader.h"

#include <cstring>
#include <vector>

#include "report/diagnostics.h"
#include "trace/text_lines.h"

TraceLine classify_trace_line(const std::string& line) {
  if (is_comment_line(line)) return TraceLine::Comment;
  if (is_blank_line(line)) return TraceLine::Blank;
  if (std::strstr(line.c_str(), "acquire") != nullptr) return TraceLine::Acquire;
  if (std::strstr(line.c_str(), "release") != nullptr) return TraceLine::Release;
  return TraceLine::Access;
}

int parse_lock_line(const std::string& line, int_t& lock) {
  std::vector<char> word(line.size() + 1);
  return std::sscanf(line.c_str(), "%s%d", word.data(), &lock);
}

int parse_access_line(const std::string& line, std::string& word, int_t& addr, int_t& val) {
  std::vector<char> buffer(line.size() + 1);
  const int items = std::sscanf(line.c_str(), "%s%d%d", buffer.data(), &addr, &val);
  word = buffer.data();
  return items;
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
  for (int_t p = 0; p < state.NPROCESSOR; ++p) {
    FILE* file = open_processor_file(state.QIRNTFRES, p);
    if (file == nullptr) err_sys("open test result file");
    files.add(file);
  }
}

// Acquire and release lines: a lock number, never negative.
void read_lock_line(const std::string& line, opnode& node, int_t kind_val) {
  int_t lock = 0;
  if (parse_lock_line(line, lock) < 2) {
    std::printf(kind_val == 0 ? "%s" : "%s\n", line.c_str());
    err_quit("test result file format error");
  }
  if (lock < 0) err_quit("test result file format error");
  node.optype = SYNC;
  node.addr = lock;
  node.val = kind_val;
}

void read_access_line(const std::string& line, opnode& node, int_t p, int_t k) {
  std::string word;
  int_t addr = 0;
  int_t val = 0;
  if (parse_access_line(line, word, addr, val) < 3) {
    std::printf("%d  %d\n", p, k);
    err_quit("test result file format error");
  }
  if (word == "load") {
    node.optype = LOAD;
  } else if (word == "store") {
    node.optype = STORE;
  } else {
    err_quit("op type format is error");
  }
  if (addr < 0) err_quit("test result file format error");
  node.addr = addr;
  node.val = val;
}

void read_operation(const std::string& line, int_t p, int_t k) {
  opnode& node = state.graph[p][k];
  switch (classify_trace_line(line)) {
    case TraceLine::Acquire:
      read_lock_line(line, node, 0);
      break;
    case TraceLine::Release:
      read_lock_line(line, node, 1);
      break;
    default:
      read_access_line(line, node, p, k);
  }
}

}  // namespace

void get_proc_op_num() {
  OpenFiles files;
  open_trace_files(files);
  state.procOpNum.assign(static_cast<std::size_t>(state.NPROCESSOR), 0);
  std::string line;
  for (int_t p = 0; p < state.NPROCESSOR; ++p) {
    while (read_whole_line(files[p], line)) {
      if (is_operation_line(line)) ++state.procOpNum[p];
    }
  }
}

int_t read_result() {
  OpenFiles files;
  open_trace_files(files);
  std::string line;
  for (int_t p = 0; p < state.NPROCESSOR; ++p) {
    int_t k = 0;
    while (read_whole_line(files[p], line)) {
      if (!is_operation_line(line)) continue;
      // A file that grew since it was counted must not write past its nodes.
      QIRN_ISVALID(k < state.procOpNum[p], kTraceCountSite);
      read_operation(line, p, k);
      ++k;
    }
    QIRN_ISVALID(k == state.procOpNum[p], kTraceCountSite);
  }
  return 0;
}

void get_addr_lock_num() {
  int_t largest_addr = -1;
  int_t largest_lock = -1;
  for (const auto& operations : state.graph) {
    for (const opnode& node : operations) {
      if (is_acquire(&node) && node.addr >= largest_lock) largest_lock = node.addr;
      if (node.optype != SYNC && node.addr >= largest_addr) largest_addr = node.addr;
    }
  }
  state.addrNum = largest_addr + 1;
  state.lockNum = largest_lock + 1;
}
