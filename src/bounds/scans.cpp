#include "bounds/scans.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "report/diagnostics.h"
#include "run/workers.h"
#include "trace/text_lines.h"

int_t parse_scan_count(const std::string& line) {
  int_t count = 0;
  const ScannedItems items = ItemScanner(line).number(count).literal(':').word().items();
  if (items.count < 1) return 0;
  // The line cannot be a valid row; a count that is not 0 lets the second
  // pass reach it and report it.
  if (items.out_of_range) return std::numeric_limits<int_t>::max();
  return count;
}

namespace {

// Reads a run of one to nine digits at `at`, which no int_t can overflow;
// false for any other run.
bool plain_number(const char*& at, int_t& value) {
  const char* start = at;
  int_t read = 0;
  while (*at >= '0' && *at <= '9' && at - start < 9) read = read * 10 + (*at++ - '0');
  if (at == start || (*at >= '0' && *at <= '9')) return false;
  value = read;
  return true;
}

}  // namespace

// Nearly every row is "index:lb,ub" in plain digits. Such a row is read
// directly: with no blank before a number, no sign and at most nine digits,
// the general scan reads the same three values, in range, and stops at the
// same place. Every other line takes the general scan.
ScannedItems parse_bound_line(const std::string& line, int_t& index, int_t& lb, int_t& ub) {
  const char* at = line.c_str();
  int_t values[3];
  const bool plain = plain_number(at, values[0]) && *at++ == ':' && plain_number(at, values[1]) &&
                     *at++ == ',' && plain_number(at, values[2]);
  if (plain) {
    index = values[0];
    lb = values[1];
    ub = values[2];
    return {3, false};
  }
  return ItemScanner(line).number(index).literal(':').number(lb).literal(',').number(ub).items();
}

namespace {

// Opens every processor's bound file before any is read; `fail` reports a
// file that cannot be opened.
template <typename Fail>
void open_bound_files(OpenFiles& files, Fail fail) {
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    FILE* file = open_processor_file(state->QIRNBOUND, p);
    if (file == nullptr) fail();
    files.add(file);
  }
}

// The scan count is read from the file's last line only, whether or not that
// line ends with a newline; an empty file counts 0.
int_t last_line_scan_count(FILE* file) {
  return parse_scan_count(last_line(file));
}

// Rows beyond the scan table, and bounds that name no operation of the
// processor, are malformed input: they would index outside the graph. The row
// index is checked first, then lb, then ub; all report the same message.
bool row_in_range(int_t p, int_t index, int_t lb, int_t ub) {
  const int_t operations = state->procOpNum[p];
  return index <= state->NSCAN && lb >= 0 && lb <= operations && ub >= 0 && ub <= operations;
}

// One processor's bound file as read, perhaps in another thread: the rows
// up to the first fault, which the run reports in processor order.
struct BoundFileRead {
  enum class Fault { None, Format, RowIndex };
  int_t firstRow = 1;                         // the scan of the first row
  std::vector<std::pair<int_t, int_t>> rows;  // lb and ub, scan after scan
  Fault fault = Fault::None;
  std::int64_t lastLine = 0;  // the last line read: the faulty one, if any
};

// Each data line is parsed, its index checked against the expected one, and
// only then its values range-checked.
BoundFileRead read_processor_bounds(FILE* file, int_t p) {
  BoundFileRead read;
  int_t expected = 1;
  std::string line;
  LineReader lines(file);
  while (lines.next(line)) {
    read.lastLine = lines.line_number();
    if (is_comment_line(line) || is_blank_line(line)) continue;
    int_t index = 0;
    int_t lb = 0;
    int_t ub = 0;
    const ScannedItems items = parse_bound_line(line, index, lb, ub);
    const bool parsed = items.count >= 3 && !items.out_of_range;
    // The first data line may start at any scan from 1 to 8.
    if (parsed && expected == 1 && index >= 2 && index <= 8) expected = read.firstRow = index;
    if (parsed && index != expected) {
      read.fault = BoundFileRead::Fault::RowIndex;
      return read;
    }
    if (!parsed || !row_in_range(p, index, lb, ub)) {
      read.fault = BoundFileRead::Fault::Format;
      return read;
    }
    read.rows.emplace_back(lb, ub);
    ++expected;
  }
  return read;
}

// Enters processor p's rows into the scan table, then stops the run at the
// fault its file had, if any.
void enter_processor_bounds(const BoundFileRead& read, int_t p) {
  note_reading(state->QIRNBOUND, p);
  int_t scan = read.firstRow;
  for (const auto& [lb, ub] : read.rows) {
    state->scan.extend_to(scan);  // grows only with rows that passed their checks
    state->scan.set(scan, p, lb, ub);
    if (state->firstScanRow[p] == 0) state->firstScanRow[p] = scan;
    state->lastScanRow[p] = scan;
    ++scan;
  }
  state->readingLine = read.lastLine;
  if (read.fault == BoundFileRead::Fault::Format) err_quit("bound file format error");
  QIRN_ISVALID(read.fault == BoundFileRead::Fault::None, kBoundRowIndexSite);
}

// The rows the bound files can fill: no more than the scan count, nor than
// the longest file has lines (a row takes at least six bytes, a last row
// without its newline five) after the first index, which is at most 8.
int_t rows_the_files_can_hold(const OpenFiles& files) {
  long longest = 0;
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    if (std::fseek(files[p], 0, SEEK_END) == 0) longest = std::max(longest, std::ftell(files[p]));
    std::rewind(files[p]);
  }
  return static_cast<int_t>(std::min<long>(state->NSCAN, longest / 5 + 8));
}

// Sets scanIndex to `value` for operations [from, to) of processor p, clipped
// to the operations that exist.
void set_scan_index(int_t p, int_t from, int_t to, int_t value) {
  const int_t end = std::min(to, state->procOpNum[p]);
  for (int_t j = std::max(from, 0); j < end; ++j) state->graph[p][j].scanIndex = value;
}

}  // namespace

void calculate_scan() {
  state->numOfScan.assign(static_cast<std::size_t>(state->NPROCESSOR), 0);
  OpenFiles files;
  open_bound_files(files, [] { err_quit("open bound file error!"); });
  int_t largest = 0;
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    state->numOfScan[p] = last_line_scan_count(files[p]);
    largest = std::max(largest, state->numOfScan[p]);
  }
  done_reading();
  if (largest == 0) err_quit("err in bound file!");
  state->NSCAN = largest;
}

int_t read_bound_res() {
  OpenFiles files;
  open_bound_files(files, [] { err_sys("open region bound file"); });
  state->firstScanRow.assign(static_cast<std::size_t>(state->NPROCESSOR), 0);
  state->lastScanRow.assign(static_cast<std::size_t>(state->NPROCESSOR), -1);
  state->scan.reserve(rows_the_files_can_hold(files));
  std::vector<BoundFileRead> reads(static_cast<std::size_t>(state->NPROCESSOR));
  for_each_processor(
      [&](int_t p) { reads[static_cast<std::size_t>(p)] = read_processor_bounds(files[p], p); });
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    enter_processor_bounds(reads[static_cast<std::size_t>(p)], p);
  }
  done_reading();
  return 0;
}

void calculateScanNo() {
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    // A negative count cannot survive read_bound_res; treat it as no rows.
    const int_t m = std::clamp(state->numOfScan[p], 0, state->NSCAN);
    for (int_t k = 1; k <= m; ++k) {
      const int_t from = k == 1 ? 0 : state->scan.lb(k - 1, p);
      set_scan_index(p, from, state->scan.lb(k, p), k - 1);
    }
    set_scan_index(p, state->scan.lb(m, p), state->procOpNum[p], m);
  }
}
