// The one fatal path of qirn, its internal assertion, and the printers that
// show operations and arcs in violation reports.
#pragma once

#include <cstdarg>
#include <string>

#include "qirn.h"

// Reports the message with the system's error text appended, exits with 255.
[[noreturn]] void err_sys(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Reports the message alone, exits with 255.
[[noreturn]] void err_quit(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// Common worker: formats, appends the system text when `errnoflag` is 1 and a
// newline, flushes standard output, then writes the message to standard error.
void err_doit(int errnoflag, const char* fmt, va_list ap);

// Where an internal invariant is checked. The unit names and line numbers are
// part of the printed message that users and scripts match on.
struct AssertSite {
  const char* unit;
  int line;
};
inline constexpr AssertSite kBoundRowIndexSite{"init.cpp", 306};
inline constexpr AssertSite kTraceCountSite{"init.cpp", 416};
inline constexpr AssertSite kLoadLookupSite{"operation.cpp", 8};

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
