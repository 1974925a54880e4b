// A trace set held as text, and the smaller sets cut from it.
#pragma once

#include <string>
#include <vector>

namespace qirn_shrink {

// One operation line as qirn reads it, kept byte for byte.
struct Operation {
  enum class Kind { Acquire, Release, Load, Store, Rmw, Other };
  std::string line;
  Kind kind = Kind::Other;
  int lock = -1;  // acquires and releases with a readable lock number
  int addr = 0;   // loads, stores and RMWs
  int value = 0;  // read by a load, written by a store or RMW
  int read = 0;   // read by an RMW
};

// One data line of a bound file, in sequence numbers of the full trace.
struct BoundRow {
  int scan = 0;
  int lb = 0;
  int ub = 0;
};

struct Processor {
  std::vector<Operation> operations;
  std::vector<BoundRow> rows;
};

struct TraceSet {
  std::vector<Processor> processors;
  bool bounds = false;  // whether bound files belong to the set
};

// Which operations of each processor a smaller set keeps.
using Selection = std::vector<std::vector<bool>>;

Selection select_all(const TraceSet& set);
int kept_operations(const Selection& selection);
bool keeps_any(const std::vector<bool>& kept);
int kept_processors(const Selection& selection);

struct ReadResult {
  TraceSet set;
  std::string error;  // the first file that could not be read, and why
};

// Reads processors 0 to count-1 from PREFIXtfres.N and, when bounds is set,
// PREFIXboundgt.N. Comments and blank lines are dropped; a bound file must
// hold only well-formed data lines besides them.
ReadResult read_trace_set(const std::string& prefix, int count, bool bounds);

// The bound rows of one processor with only the kept operations: at each
// scan, lb counts the kept operations that had completed and ub those that
// had been issued.
std::vector<BoundRow> renumber_rows(const Processor& processor, const std::vector<bool>& kept);

// Writes the kept operations into dir as tfres.N (and boundgt.N), numbering
// the processors that keep an operation from 0 on. Returns how many were
// written; "" or the reason of a failure in error.
int write_trace_set(const TraceSet& set, const Selection& selection, const std::string& dir,
                    std::string& error);

}  // namespace qirn_shrink
