// Fuzzes the trace readers: the bytes are one processor's trace file, and
// then a one-file trace (`--trace`), each read as a baseline run reads it, up
// to the write-to mapping and the session tables.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "qirn.h"
#include "run/driver.h"
#include "trace/trace_reader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  qirn_fuzz::initialize();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  qirn_fuzz::check_scanner_against_sscanf(text);
  qirn_fuzz::put_file("tfres.0", text);
  qirn_fuzz::run_stopping_quietly([] {
    reset_run_state();
    state->NPROCESSOR = 1;
    state->isBase = 1;
    state->QIRNTFRES = qirn_fuzz::scratch_prefix() + "tfres";
    get_proc_op_num();
    state->NOPLIST = max(state->procOpNum.data(), state->NPROCESSOR);
    read_inputs();
  });
  qirn_fuzz::put_file("run.txt", text);
  qirn_fuzz::run_stopping_quietly([] {
    reset_run_state();
    state->isBase = 1;
    state->traceFile = qirn_fuzz::scratch_prefix() + "run.txt";
    count_operations();
    state->NOPLIST = max(state->procOpNum.data(), state->NPROCESSOR);
    read_inputs();
  });
  return 0;
}
