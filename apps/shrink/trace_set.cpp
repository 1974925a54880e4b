#include "shrink/trace_set.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "bounds/scans.h"
#include "trace/text_lines.h"
#include "trace/trace_reader.h"

namespace qirn_shrink {
namespace {

// Lines qirn would reject stay operations of kind Other.
Operation operation_of(const std::string& line) {
  Operation operation{line};
  const TraceLine kind = classify_trace_line(line);
  if (kind == TraceLine::Access) {
    std::string word;
    int_t written = 0;
    const ScannedItems items =
        parse_access_line(line, word, operation.addr, operation.value, written);
    if (items.count < 3 || items.out_of_range) return operation;
    if (word == "load") operation.kind = Operation::Kind::Load;
    if (word == "store") operation.kind = Operation::Kind::Store;
    if (word == "rmw" && items.count >= 4) {
      operation.kind = Operation::Kind::Rmw;
      operation.read = operation.value;
      operation.value = written;
    }
    return operation;
  }
  operation.kind = kind == TraceLine::Acquire ? Operation::Kind::Acquire : Operation::Kind::Release;
  int_t lock = 0;
  const ScannedItems items = parse_lock_line(line, lock);
  if (items.count == 2 && !items.out_of_range && lock >= 0) operation.lock = lock;
  return operation;
}

bool is_data_line(const std::string& line) {
  return !is_comment_line(line) && !is_blank_line(line);
}

std::string file_name(const std::string& prefix, const char* kind, int p) {
  return prefix + kind + "." + std::to_string(p);
}

// Calls take(line) for every data line of the file; the error names the
// file when it cannot be opened.
template <typename Take>
std::string read_data_lines(const std::string& name, Take take) {
  FILE* file = std::fopen(name.c_str(), "r");
  if (file == nullptr) return "cannot read " + name + ": " + std::strerror(errno);
  std::string line;
  std::string error;
  LineReader lines(file);
  while (error.empty() && lines.next(line)) {
    if (is_data_line(line)) error = take(line);
  }
  std::fclose(file);
  return error;
}

std::string read_rows(const std::string& name, std::vector<BoundRow>& rows) {
  return read_data_lines(name, [&](const std::string& line) -> std::string {
    BoundRow row;
    const ScannedItems items = parse_bound_line(line, row.scan, row.lb, row.ub);
    if (items.count < 3 || items.out_of_range) {
      return "cannot shrink " + name + ": malformed line " + line;
    }
    rows.push_back(row);
    return {};
  });
}

std::string read_processor(const std::string& prefix, int p, bool bounds, Processor& processor) {
  std::string error = read_data_lines(file_name(prefix, "tfres", p), [&](const std::string& line) {
    processor.operations.push_back(operation_of(line));
    return std::string();
  });
  if (error.empty() && bounds) error = read_rows(file_name(prefix, "boundgt", p), processor.rows);
  return error;
}

// Terminates the last line, so that lines can be joined without merging.
std::string whole_line(const std::string& line) {
  return line.empty() || line.back() == '\n' ? line : line + "\n";
}

bool write_processor(const Processor& processor, const std::vector<bool>& kept,
                     const std::string& dir, int number, bool bounds) {
  std::ofstream trace(dir + "/tfres." + std::to_string(number), std::ios::trunc);
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i]) trace << whole_line(processor.operations[i].line);
  }
  if (!bounds) return static_cast<bool>(trace.flush());
  std::ofstream bound(dir + "/boundgt." + std::to_string(number), std::ios::trunc);
  for (const BoundRow& row : renumber_rows(processor, kept)) {
    bound << row.scan << ':' << row.lb << ',' << row.ub << '\n';
  }
  return trace.flush() && bound.flush();
}

}  // namespace

Selection select_all(const TraceSet& set) {
  Selection selection;
  for (const Processor& processor : set.processors) {
    selection.emplace_back(processor.operations.size(), true);
  }
  return selection;
}

int kept_operations(const Selection& selection) {
  int count = 0;
  for (const auto& kept : selection) {
    for (bool k : kept) count += k ? 1 : 0;
  }
  return count;
}

bool keeps_any(const std::vector<bool>& kept) {
  return std::find(kept.begin(), kept.end(), true) != kept.end();
}

int kept_processors(const Selection& selection) {
  return static_cast<int>(std::count_if(selection.begin(), selection.end(), keeps_any));
}

ReadResult read_trace_set(const std::string& prefix, int count, bool bounds) {
  ReadResult result;
  result.set.bounds = bounds;
  result.set.processors.resize(static_cast<size_t>(count));
  for (int p = 0; p < count && result.error.empty(); ++p) {
    result.error = read_processor(prefix, p, bounds, result.set.processors[p]);
  }
  return result;
}

std::vector<BoundRow> renumber_rows(const Processor& processor, const std::vector<bool>& kept) {
  // keptBefore[s]: kept operations among the first s of the full trace.
  std::vector<int> keptBefore(kept.size() + 1, 0);
  for (size_t s = 0; s < kept.size(); ++s) keptBefore[s + 1] = keptBefore[s] + (kept[s] ? 1 : 0);
  // A bound outside the trace stays outside it by as much, so a malformed row
  // stays malformed.
  const int last = static_cast<int>(kept.size());
  const auto renumber = [&](int bound) {
    if (bound < 0) return bound;
    if (bound > last) return keptBefore.back() + bound - last;
    return keptBefore[static_cast<size_t>(bound)];
  };
  std::vector<BoundRow> rows;
  for (const BoundRow& row : processor.rows) {
    rows.push_back({row.scan, renumber(row.lb), renumber(row.ub)});
  }
  return rows;
}

int write_trace_set(const TraceSet& set, const Selection& selection, const std::string& dir,
                    std::string& error) {
  int written = 0;
  for (size_t p = 0; p < set.processors.size(); ++p) {
    if (!keeps_any(selection[p])) continue;
    if (!write_processor(set.processors[p], selection[p], dir, written, set.bounds)) {
      error = "cannot write into " + dir;
      return written;
    }
    ++written;
  }
  return written;
}

}  // namespace qirn_shrink
