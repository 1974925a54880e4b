// The one fatal path of qirn, its internal assertion, and the printers that
// show operations and arcs in violation reports.
//
// A fatal stop never ends the process where it happens: it unwinds as a
// `FatalStop` to `run_guarded`, which reports it and returns 255. So a caller
// can run qirn's stages in-process again after `reset_run_state`.
#pragma once

#include <cstdarg>
#include <exception>
#include <functional>
#include <string>
#include <utility>

#include "qirn.h"

// A fatal stop on its way to `run_guarded`; `what` is the whole message,
// newline included.
class FatalStop : public std::exception {
 public:
  explicit FatalStop(std::string message, StopKind kind = StopKind::Input)
      : message_(std::move(message)), kind_(kind) {}
  const char* what() const noexcept override { return message_.c_str(); }
  StopKind kind() const { return kind_; }

 private:
  std::string message_;
  StopKind kind_;
};

// Stops the run with the message and the system's error text appended.
[[noreturn]] void err_sys(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Stops the run with the message alone.
[[noreturn]] void err_quit(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Stops the run with the message alone, for a reason other than its input.
[[noreturn]] void stop_run(StopKind kind, const char* message);
// Common worker: the formatted message, the system text appended when
// `errnoflag` is 1, and a newline.
std::string err_doit(int errnoflag, const char* fmt, va_list ap);

// Runs `body` and returns its status. A fatal stop, or running out of memory,
// flushes standard output, writes the message to standard error, keeps it in
// the run state and returns 255, or with --exit-code the verdict code.
int run_guarded(const std::function<int()>& body);

// The verdict as a code: 0 pass (or help, or the version), 1 violation, 2 bad
// input or usage, 3 no verdict (an internal stop, memory out, or none
// printed).
int verdict_code();

// Where an internal invariant is checked. The unit names and line numbers are
// part of the printed message that users and scripts match on; they are not
// files of this project, so with --exit-code or --json the meaning follows
// in words. The first two fail on files that change or lie about their rows,
// so they count as bad input.
struct AssertSite {
  const char* unit;
  int line;
  StopKind kind;
  const char* meaning;
};
inline constexpr AssertSite kBoundRowIndexSite{
    "init.cpp", 306, StopKind::Input,
    "a bound row's scan number is not one more than the row before it"};
inline constexpr AssertSite kTraceCountSite{
    "init.cpp", 416, StopKind::Input,
    "the trace file changed while it was read: its operations no longer match their count"};
inline constexpr AssertSite kLoadLookupSite{
    "operation.cpp", 8, StopKind::Internal,
    "internal check: the store a load read was looked up for an operation that is not a load"};

[[noreturn]] void qirn_invalid(AssertSite site);

#define QIRN_ISVALID(condition, site)     \
  do {                                    \
    if (!(condition)) qirn_invalid(site); \
  } while (0)

// One operation as the reports show it, e.g. (G[0][1]:L[3]=1).
std::string node_text(const opnode* u);
// Prints one operation, e.g. (G[0][1]:L[3]=1), without a newline.
int_t print_node(const opnode* u);
// The tag of an order, e.g. "Wt".
const char* order_tag(ORDER_t order);
// Prints an arc tag, e.g. <-Wt-, without a newline.
int_t print_arc(ORDER_t order);
