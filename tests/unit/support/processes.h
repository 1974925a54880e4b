// Whether processes that a test saw started have ended.
#pragma once

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

// Whether the process is gone, or a zombie nobody has reaped yet.
inline bool process_ended(long pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return true;
  const size_t end = line.rfind(") ");
  return end == std::string::npos || line[end + 2] == 'Z';
}

// Whether it ends within five seconds: a killed process on a busy machine
// may take a moment to end.
inline bool ends_soon(long pid) {
  for (int wait = 0; wait < 500 && !process_ended(pid); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return process_ended(pid);
}
