// Fuzzes a whole run, in-process as main runs it. The first byte chooses the
// model (bits 0-1), baseline mode (bit 2) and 1 to 3 processors (bits 3-4);
// the rest, split at NUL bytes, are the trace files and then the bound files
// of the processors. A missing part is a missing file.
//
// The baseline scope-consistency search is exponential in the number of lock
// sessions, so for it traces with more than a few lock operations are skipped.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "qirn.h"
#include "run/driver.h"

namespace {

constexpr int kMaxLockLinesInExponentialSearches = 8;

// Lines holding "acquire" or "release", counted from above: every such word
// counts.
int lock_lines(const std::vector<std::string>& traces) {
  int count = 0;
  for (const std::string& trace : traces) {
    for (const char* word : {"acquire", "release"}) {
      for (std::size_t at = trace.find(word); at != std::string::npos;
           at = trace.find(word, at + 1)) {
        ++count;
      }
    }
  }
  return count;
}

std::vector<std::string> arguments;

void run_once() {
  std::vector<char*> argv;
  for (std::string& word : arguments) argv.push_back(word.data());
  argv.push_back(nullptr);
  run_qirn(static_cast<int>(arguments.size()), argv.data());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qirn_fuzz::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  static const char* const kModels[] = {"SC", "PC", "RC", "ScC"};
  const int model = data[0] & 3;
  const bool baseline = (data[0] & 4) != 0;
  const int processors = 1 + (data[0] >> 3 & 3) % 3;
  const qirn_fuzz::Parts parts = qirn_fuzz::split_parts(data + 1, size - 1, 2 * processors);
  const std::vector<std::string> traces(parts.text.begin(), parts.text.begin() + processors);
  const bool exponential = model == 3 && baseline;
  if (exponential && lock_lines(traces) > kMaxLockLinesInExponentialSearches) return 0;
  for (int p = 0; p < processors; ++p) {
    const std::string n = std::to_string(p);
    qirn_fuzz::put_file("tfres." + n, parts.text[p], parts.present[p]);
    qirn_fuzz::put_file("boundgt." + n, parts.text[processors + p], parts.present[processors + p]);
  }
  arguments = {"qirn",         "-p", std::to_string(processors), "-m",
               kModels[model], "-i", qirn_fuzz::scratch_prefix()};
  if (baseline) arguments.push_back("-b");
  qirn_fuzz::run_stopping_quietly(run_once);
  return 0;
}
