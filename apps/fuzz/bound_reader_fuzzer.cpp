// Fuzzes the bound reader: two processors whose traces hold as many stores
// as the first two bytes say, and whose bound files are the rest of the
// bytes, split at a NUL byte. They are read as an optimized run reads them,
// up to the pending windows and the scan numbers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "bounds/scans.h"
#include "fuzz_support.h"
#include "qirn.h"
#include "run/driver.h"
#include "trace/trace_reader.h"

namespace {

std::string stores(int processor, int count) {
  std::string text;
  for (int i = 1; i <= count; ++i) {
    text += "store " + std::to_string(i % 3) + " " + std::to_string(processor * 100 + i) + "\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qirn_fuzz::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const qirn_fuzz::Parts bounds = qirn_fuzz::split_parts(data + 2, size - 2, 2);
  for (int p = 0; p < 2; ++p) {
    qirn_fuzz::check_scanner_against_sscanf(bounds.text[p]);
    qirn_fuzz::put_file("tfres." + std::to_string(p), stores(p, data[p] % 32));
    qirn_fuzz::put_file("boundgt." + std::to_string(p), bounds.text[p], bounds.present[p]);
  }
  qirn_fuzz::run_stopping_quietly([] {
    reset_run_state();
    state->NPROCESSOR = 2;
    state->isBase = 0;
    state->QIRNTFRES = qirn_fuzz::scratch_prefix() + "tfres";
    state->QIRNBOUND = qirn_fuzz::scratch_prefix() + "boundgt";
    get_proc_op_num();
    state->NOPLIST = max(state->procOpNum.data(), state->NPROCESSOR);
    read_inputs();
    calculateScanNo();
  });
  return 0;
}
