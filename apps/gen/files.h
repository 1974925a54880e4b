// The files qirn reads: one trace file and one bound file per processor,
// named from a path prefix the way qirn's -i names them.
#pragma once

#include <stdexcept>
#include <string>

#include "gen/config.h"
#include "gen/run_model.h"

namespace qirn_gen {

class WriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string trace_path(const std::string& prefix, int32_t proc);  // prefix + "tfres." + proc
std::string bound_path(const std::string& prefix, int32_t proc);  // prefix + "boundgt." + proc

// "load A V", "store A V", "rmw A READ WRITTEN", "acquire L", "release L",
// "fence", one per line in program order, after one comment line naming the
// seed (and the model, when it is TSO or PSO) and the processor.
std::string trace_text(const GeneratedRun& run, const GenConfig& config, int32_t proc);

// "k:lb,ub" for scans k = 1, 2, ..., after one comment line; the last line is
// the last scan.
std::string bound_text(const GeneratedRun& run, int32_t proc);

// Whether some processor's program holds an acquire or a release.
bool has_lock_sessions(const GeneratedRun& run);

// The whole run as one file: every processor's loads, stores and fences in
// program order, processor after processor, one per line as "T: M[A] := V"
// (a store of V to address A by processor T), "T: M[A] == V" (a load that
// returned V), "T: sync" (a fence) and "T: { M[A] == R; M[A] := W }" (an
// RMW that read R and wrote W). A run under WMO ends each line with
// " @ B:E", B the tick the operation was issued and E, for a load or RMW only,
// the tick it read. The run must have no lock sessions.
std::string one_file_text(const GeneratedRun& run);

// Writes every processor's two files, then the manifest and, when
// config.oneFile names one, the one file; throws WriteError naming the first
// file that cannot be written.
void write_run(const GeneratedRun& run, const GenConfig& config);

}  // namespace qirn_gen
