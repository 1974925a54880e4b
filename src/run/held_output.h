// Output kept in memory: a stream whose text the caller reads back, and a
// stage run with its report held back so that the driver can decide
// afterwards whether to show it.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "report/diagnostics.h"

// A stream writing to memory for its lifetime.
class MemoryStream {
 public:
  MemoryStream();
  ~MemoryStream();
  MemoryStream(const MemoryStream&) = delete;
  MemoryStream& operator=(const MemoryStream&) = delete;

  FILE* file() const { return memory_; }
  // Everything written so far.
  std::string text();

 private:
  FILE* memory_ = nullptr;
  char* buffer_ = nullptr;
  std::size_t size_ = 0;
};

struct HeldOutput {
  std::string text;               // everything the stage printed
  std::optional<FatalStop> stop;  // the fatal stop that ended it, if one did
};

// Runs `stage` with the run's report going to memory; restores it whatever
// the stage throws. A fatal stop is kept, not passed on.
HeldOutput run_held(const std::function<void()>& stage);
// Prints what a held stage printed.
void show(const HeldOutput& held);
