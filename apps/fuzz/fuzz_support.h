// Helpers shared by the fuzz targets: a scratch directory for the input
// files, splitting the fuzzer's bytes into files, and the checks every target
// makes besides "no crash, no sanitizer report".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qirn_fuzz {

// Sends standard output to /dev/null and makes the scratch directory; call
// once from LLVMFuzzerInitialize.
void initialize();

// The path prefix of files in the scratch directory.
const std::string& scratch_prefix();

// Writes `text` as file `name` (for example "tfres.0") in the scratch
// directory, or removes the file when `present` is false.
void put_file(const std::string& name, const std::string& text, bool present = true);

// Splits the bytes at NUL bytes into at most `count` parts; missing parts are
// absent (false in `present`).
struct Parts {
  std::vector<std::string> text;
  std::vector<bool> present;
};
Parts split_parts(const std::uint8_t* data, std::size_t size, std::size_t count);

// Runs `stages` as main does, except that a fatal stop is silent: a fatal
// stop is a verdict on bad input, anything else (a signal, a sanitizer
// report, an uncaught exception) is a finding.
void run_stopping_quietly(void (*stages)());

// Aborts when the line scanner reads any line of `text` differently from
// sscanf with the same directives, on lines whose numbers fit int32.
void check_scanner_against_sscanf(const std::string& text);

}  // namespace qirn_fuzz
