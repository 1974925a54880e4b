#include "batch/expect.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "batch/json.h"

namespace qirn_batch {
namespace {

constexpr const char* kManifest = "manifest.json";

std::string problem(const std::string& what, int error) {
  return std::string(kManifest) + " " + what +
         (error != 0 ? std::string(": ") + std::strerror(error) : "");
}

// Reads the whole file into text; false, with the reason in why, when it
// cannot be read.
bool read_file(const std::string& path, std::string& text, std::string& why) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const fs::file_type type = fs::status(path, ignored).type();  // none: fopen tells why
  if (type != fs::file_type::regular && type != fs::file_type::none) {
    why = problem(type == fs::file_type::not_found ? "is missing" : "is not a file", 0);
    return false;
  }
  errno = 0;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    why = problem("cannot be read", errno);
    return false;
  }
  char buffer[65536];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    text.append(buffer, got);
  }
  const bool failed = std::ferror(file) != 0;
  const int error = errno;
  std::fclose(file);
  if (failed) why = problem("cannot be read", error);
  return !failed;
}

}  // namespace

Expectation read_expectation(const std::string& folder, const std::string& model, bool baseline) {
  Expectation expected;
  std::string text;
  if (!read_file(folder + "/" + kManifest, text, expected.problem)) return expected;
  const std::optional<Json> manifest = parse_json(text);
  const char* mode = baseline ? "baseline" : "optimized";
  const std::string* verdict = manifest ? manifest->string_at({"expected", model, mode}) : nullptr;
  const std::string* command = manifest ? manifest->string_at({"command"}) : nullptr;
  if (command != nullptr) expected.command = *command;
  if (!manifest) {
    expected.problem = problem("is malformed: not JSON", 0);
  } else if (verdict == nullptr ||
             (*verdict != "pass" && *verdict != "violation" && *verdict != "any")) {
    expected.problem = problem("is malformed: expected." + model + "." + mode +
                                   " is not \"pass\", \"violation\" or \"any\"",
                               0);
  } else {
    expected.verdict = *verdict;
  }
  return expected;
}

bool matches(const Expectation& expected, Verdict verdict) {
  if (verdict != Verdict::Pass && verdict != Verdict::Violation) return false;
  return expected.verdict == "any" || expected.verdict == verdict_name(verdict);
}

}  // namespace qirn_batch
