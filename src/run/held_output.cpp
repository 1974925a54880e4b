#include "run/held_output.h"

#include <cstdlib>

MemoryStream::MemoryStream() {
  memory_ = open_memstream(&buffer_, &size_);
  if (memory_ == nullptr) err_sys("hold output");
}

MemoryStream::~MemoryStream() {
  std::fclose(memory_);
  std::free(buffer_);
}

std::string MemoryStream::text() {
  std::fflush(memory_);
  return std::string(buffer_ != nullptr ? buffer_ : "", size_);
}

namespace {

// Points the run's report at a memory stream for its lifetime.
class ReportToMemory {
 public:
  ReportToMemory() : shown_(state->out) {
    std::fflush(shown_);
    state->out = memory_.file();
  }
  ~ReportToMemory() { state->out = shown_; }
  ReportToMemory(const ReportToMemory&) = delete;
  ReportToMemory& operator=(const ReportToMemory&) = delete;

  std::string text() { return memory_.text(); }

 private:
  FILE* shown_;
  MemoryStream memory_;
};

}  // namespace

HeldOutput run_held(const std::function<void()>& stage) {
  HeldOutput held;
  ReportToMemory redirect;
  try {
    stage();
  } catch (const FatalStop& stop) {
    held.stop = stop;
  }
  held.text = redirect.text();
  return held;
}

void show(const HeldOutput& held) {
  std::fwrite(held.text.data(), 1, held.text.size(), state->out);
}
