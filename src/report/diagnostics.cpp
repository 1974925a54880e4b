#include "report/diagnostics.h"

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

std::string format_message(const char* fmt, va_list ap) {
  va_list measure;
  va_copy(measure, ap);
  const int length = std::vsnprintf(nullptr, 0, fmt, measure);
  va_end(measure);
  if (length <= 0) return std::string();
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), fmt, ap);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// Where the input stopped the run: the file, and the line when one was read.
void report_position() {
  if (state->stopFile.empty()) return;
  std::fprintf(state->err, "qirn: in %s", state->stopFile.c_str());
  if (state->stopLine > 0)
    std::fprintf(state->err, ", line %lld", static_cast<long long>(state->stopLine));
  std::fprintf(state->err, "\n");
}

void report(const char* message) {
  // What was printed before -o moved the report to a file comes first too.
  if (state->out != stdout) std::fflush(stdout);
  std::fflush(state->out);
  std::fputs(message, state->err);
  std::fflush(state->err);
}

// Reports a stop and keeps it for the verdict code and the JSON object. When
// a verdict option asks, a failed check is explained in words, and a stop on
// bad input names the input file and line.
void keep_stop(const char* message, StopKind kind) {
  report(message);
  state->stopMessage = message;
  state->stopKind = kind;
  const bool explained = state->verdictStatus || !state->jsonFile.empty();
  if (explained && state->stopMeaning != nullptr)
    std::fprintf(state->err, "qirn: %s\n", state->stopMeaning);
  if (kind != StopKind::Input) return;
  state->stopFile = state->readingFile;
  state->stopLine = state->readingLine;
  if (explained) report_position();
}

}  // namespace

std::string err_doit(int errnoflag, const char* fmt, va_list ap) {
  const int saved_errno = errno;
  std::string message = format_message(fmt, ap);
  if (errnoflag == 1) {
    message += ": ";
    message += std::strerror(saved_errno);
  }
  message += '\n';
  return message;
}

void err_sys(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string message = err_doit(1, fmt, ap);
  va_end(ap);
  throw FatalStop(std::move(message));
}

void err_quit(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::string message = err_doit(0, fmt, ap);
  va_end(ap);
  throw FatalStop(std::move(message));
}

int run_guarded(const std::function<int()>& body) {
  try {
    return body();
  } catch (const FatalStop& stop) {
    keep_stop(stop.what(), stop.kind());
  } catch (const std::bad_alloc&) {
    keep_stop("out of memory\n", StopKind::Internal);
  } catch (const std::length_error&) {  // a table longer than memory can hold
    keep_stop("out of memory\n", StopKind::Internal);
  }
  return state->verdictStatus ? verdict_code() : 255;
}

int verdict_code() {
  if (!state->stopMessage.empty()) {
    const StopKind kind = state->stopKind;
    return kind == StopKind::Input ? 2 : kind == StopKind::Violation ? 1 : 3;
  }
  if (state->usageError) return 2;
  if (state->stoppedByOptions) return 0;
  if (state->verdict == Verdict::None) return 3;
  return state->verdict == Verdict::Violation ? 1 : 0;
}

void stop_run(StopKind kind, const char* message) {
  throw FatalStop(std::string(message) + "\n", kind);
}

void qirn_invalid(AssertSite site) {
  state->stopMeaning = site.meaning;
  const std::string message = "QIRN_ISVALID FAILURE IN " + std::string(site.unit) + " , LINE " +
                              std::to_string(site.line) + " ! \n";
  stop_run(site.kind, message.c_str());
}

namespace {

std::string formatted(const char* format, const opnode* u) {
  char text[96];
  std::snprintf(text, sizeof text, format, u->proc_num, u->seq_num, u->addr, u->val);
  return text;
}

// Acquires and releases are shown in full, except under SC and PC, which
// show just the opening bracket. A malformed operation is fatal,
// after the bracket that the report had begun.
std::string sync_text(const opnode* u) {
  if (state->MC == SC || state->MC == PC) return "(";
  if (u->val != 0 && u->val != 1) {
    std::fprintf(state->out, "(");
    err_sys("SYNC format error!");
  }
  return formatted(u->val == 0 ? "(G[%d][%d]:Acquire %d)" : "(G[%d][%d]:Release %d)", u);
}

// An RMW shows the value it read and the value it wrote.
std::string rmw_text(const opnode* u) {
  char text[96];
  std::snprintf(text, sizeof text, "(G[%d][%d]:RMW[%d]=%d#%d)", u->proc_num, u->seq_num, u->addr,
                u->readVal, u->val);
  return text;
}

}  // namespace

std::string node_text(const opnode* u) {
  switch (u->optype) {
    case LOAD:
      return formatted("(G[%d][%d]:L[%d]=%d)", u);
    case STORE:
      return formatted("(G[%d][%d]:S[%d]#%d)", u);
    case SYNC:
      return sync_text(u);
    case FENCE:
      return formatted("(G[%d][%d]:Fence)", u);
    case RMW:
      return rmw_text(u);
    default:
      std::fprintf(state->out, "(");
      err_sys("optype format error in print_node");
  }
}

int_t print_node(const opnode* u) {
  std::fputs(node_text(u).c_str(), state->out);
  return 0;
}

const char* order_tag(ORDER_t order) {
  static const char* const kTags[] = {"T", "P", "Wt", "Co", "I", "R", "Syn", "TCo"};
  return kTags[order];
}

int_t print_arc(ORDER_t order) {
  std::fprintf(state->out, "<-");
  if (order < TO || order > TCo) err_sys("order type format error in print_arc");
  std::fprintf(state->out, "%s-", order_tag(order));
  return 0;
}
