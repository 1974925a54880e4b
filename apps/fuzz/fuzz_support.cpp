#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "report/diagnostics.h"
#include "trace/text_lines.h"

namespace qirn_fuzz {

namespace {

std::string& prefix() {
  static std::string path;
  return path;
}

// The item counts and values of one line under "%s%d%d" and "%d:%d,%d".
// sscanf is only asked when every number fits: beyond, its result is not
// defined.
void compare_line(const std::string& line) {
  std::string word;
  std::vector<char> buffer(line.size() + 1);
  std::int32_t a = 0, b = 0, x = 0, y = 0;
  const ScannedItems access = ItemScanner(line).word(&word).number(a).number(b).items();
  if (!access.out_of_range) {
    const int count = std::sscanf(line.c_str(), "%s%d%d", buffer.data(), &x, &y);
    const auto expected = std::make_tuple(count, std::string(buffer.data()), x, y);
    if (std::make_tuple(access.count, word, a, b) != expected) std::abort();
  }
  std::int32_t i = 0, l = 0, u = 0, j = 0, m = 0, v = 0;
  const ScannedItems row =
      ItemScanner(line).number(i).literal(':').number(l).literal(',').number(u).items();
  if (row.out_of_range) return;
  const int rows = std::sscanf(line.c_str(), "%d:%d,%d", &j, &m, &v);
  if (std::make_tuple(row.count, i, l, u) != std::make_tuple(rows, j, m, v)) std::abort();
}

}  // namespace

void initialize() {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  // Files in memory when the machine has a memory file system: every input
  // writes its files anew.
  char in_memory[] = "/dev/shm/qirn-fuzz-XXXXXX";
  char on_disk[] = "/tmp/qirn-fuzz-XXXXXX";
  const char* dir = mkdtemp(in_memory);
  if (dir == nullptr) dir = mkdtemp(on_disk);
  if (dir == nullptr) std::abort();
  prefix() = std::string(dir) + "/";
  std::atexit([] { std::filesystem::remove_all(prefix()); });
}

const std::string& scratch_prefix() {
  return prefix();
}

void put_file(const std::string& name, const std::string& text, bool present) {
  const std::string path = prefix() + name;
  if (!present) {
    std::remove(path.c_str());
    return;
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

Parts split_parts(const std::uint8_t* data, std::size_t size, std::size_t count) {
  Parts parts{std::vector<std::string>(count), std::vector<bool>(count, false)};
  std::size_t part = 0;
  for (std::size_t i = 0; i < size && part < count; ++i) {
    parts.present[part] = true;
    if (data[i] == 0) {
      ++part;
    } else {
      parts.text[part].push_back(static_cast<char>(data[i]));
    }
  }
  return parts;
}

void run_stopping_quietly(void (*stages)()) {
  try {
    stages();
  } catch (const FatalStop&) {
  }
}

void check_scanner_against_sscanf(const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) compare_line(line + "\n");
}

}  // namespace qirn_fuzz
