// A whole run in one file (`--trace FILE`): one operation per line, each line
// naming its thread, which is the processor of the operation.
//
//   T: M[A] := V     thread T stores V to address A
//   T: M[A] == V     thread T loads V from address A
//   T: sync          thread T executes a fence
//   T: { M[A] == V; M[A] := W }
//                    thread T reads V from A and writes W to it atomically
//
// Any of them may end with "@ B:E", "@ B:" or "@ :E", its begin and end
// times; only WMO gives them a meaning (see keeps_order). Spaces and tabs
// may stand around every token; blank lines and lines whose first non-blank
// character is "#" are skipped.
#pragma once

#include <string_view>

#include "qirn.h"

// Thread numbers run from 0 to this. Every processor up to the largest thread
// number gets tables sized by the operation count, so a bound keeps a short
// file from claiming memory out of proportion to it, as the open-file limit
// bounds the processors of trace files.
inline constexpr int_t kLargestOneFileThread = 1023;

inline constexpr const char* kOneFileFormatError = "one-file trace format error";
inline constexpr const char* kOneFileThreadError = "one-file trace thread number above 1023";

enum class OneFileLineKind { Skipped, Operation, Malformed, ThreadBeyondLimit };

// One line as read: for an operation, its thread and the operation (whose
// `line` is left 0).
struct OneFileLine {
  OneFileLineKind kind = OneFileLineKind::Skipped;
  int_t thread = 0;
  HeldOperation operation;
};

// Reads one line, with or without its newline; "\r\n" ends a line too.
OneFileLine parse_one_file_line(std::string_view line);

// The counting stage for `state->traceFile`: reads the whole file, sets the
// processor count (the largest thread number + 1, at least 1) and every
// processor's operation count, and holds the operations for
// `fill_one_file_trace`. A missing file or a bad line stops the run.
void read_one_file_trace();

// Fills the allocated nodes from the held operations, in file order per
// thread, and lets them go. A fence stops the run under RC and ScC, naming
// its line.
void fill_one_file_trace();
