// The verdict of a run as one JSON object, for scripts and pipelines.
#pragma once

#include <string>

// The object for the run that ended with exit status `status`: model, mode,
// processors, verdict ("pass", "violation", "error" or "none"), the printed
// line that decides it (see VerdictLine; for the violation that stops a run,
// its message), the status --exit-code gives, the witness (the printed cycle, or for a lock-model
// violation without one the operations that admit no order) as nodes and
// arcs, the choices counted, and for a stop its message and the input file
// and line it names.
std::string json_report(int status);

// Writes the object to the file --json names, if any; false when that fails.
bool write_json_report(int status);
