#include "run/held_output.h"

#include <cstdio>
#include <cstdlib>

namespace {

// Points standard output at a memory stream for its lifetime.
class OutputToMemory {
 public:
  OutputToMemory() : shown_(stdout) {
    std::fflush(stdout);
    memory_ = open_memstream(&buffer_, &size_);
    if (memory_ == nullptr) err_sys("hold output");
    stdout = memory_;
  }
  ~OutputToMemory() {
    if (memory_ != nullptr) std::fclose(memory_);
    stdout = shown_;
    std::free(buffer_);
  }
  OutputToMemory(const OutputToMemory&) = delete;
  OutputToMemory& operator=(const OutputToMemory&) = delete;

  std::string text() {
    std::fflush(memory_);
    return std::string(buffer_ != nullptr ? buffer_ : "", size_);
  }

 private:
  FILE* shown_;
  FILE* memory_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace

HeldOutput run_held(const std::function<void()>& stage) {
  HeldOutput held;
  OutputToMemory redirect;
  try {
    stage();
  } catch (const FatalStop& stop) {
    held.stop = stop;
  }
  held.text = redirect.text();
  return held;
}

void show(const HeldOutput& held) {
  std::fwrite(held.text.data(), 1, held.text.size(), stdout);
}
