#include "batch/qirn_report.h"

#include "batch/json.h"

namespace qirn_batch {

// The object's verdict must be a string; its line and its error's message
// count when they are strings, as qirn writes them, and are empty otherwise.
std::optional<QirnReport> read_qirn_report(std::string_view text) {
  const std::optional<Json> object = parse_json(text);
  if (!object || object->kind != Json::Kind::Object) return std::nullopt;
  const std::string* verdict = object->string_at({"verdict"});
  if (verdict == nullptr) return std::nullopt;
  QirnReport report{*verdict, {}, {}};
  if (const std::string* line = object->string_at({"line"})) report.line = *line;
  if (const std::string* message = object->string_at({"error", "message"})) report.error = *message;
  return report;
}

}  // namespace qirn_batch
