// Reading the JSON object that qirn writes with --json.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qirn_batch {

// What qirn's object says of its run.
struct QirnReport {
  std::string verdict;  // "pass", "violation", "error" or "none"
  std::string line;     // the printed line that decides the verdict; empty for null
  std::string error;    // the message of a stop; empty when there was none
};

// The object in text, which holds one JSON object and nothing else but
// blanks; nullopt when it does not, or the object has no string verdict.
std::optional<QirnReport> read_qirn_report(std::string_view text);

}  // namespace qirn_batch
