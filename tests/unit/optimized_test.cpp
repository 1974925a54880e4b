// The optimized SC/PC inference on simulated runs, arc for arc against its
// literal rule.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "derive/program_order.h"
#include "derive/write_to.h"
#include "gen/generate.h"
#include "support/literal_inference.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"

namespace {

using qirn_gen::GenConfig;

GenConfig shape(uint64_t seed) {
  GenConfig c;
  c.seed = seed;
  c.processors = 2 + static_cast<int32_t>(seed % 3);
  c.operations = 6 + static_cast<int32_t>(seed * 7 % 20);
  c.addresses = 1 + static_cast<int32_t>(seed % 4);
  c.locks = 0;
  c.scanDistance = 2 + static_cast<int32_t>(seed % 5);
  c.violations = static_cast<int32_t>(seed % 3);
  c.timedViolations = 1;
  return c;
}

// A load timed before the store it read stops the run before any inference.
bool reads_a_later_store() {
  for (auto& operations : state->graph) {
    for (opnode& r : operations) {
      if (r.optype != LOAD) continue;
      const opnode* w = st_mapping(&r);
      if (w != &state->sentinel && w->proc_num != r.proc_num && check_TO(&r, w) != 0) return true;
    }
  }
  return false;
}

class OptimizedVerdict : public TraceFixture {
 protected:
  // Loads the run and derives every arc up to the inference; false when the
  // write-to check would stop the run.
  bool prepare(const GenConfig& config, MCM_t model) {
    reset_run_state();
    const RunFiles files = run_files(qirn_gen::generate(config), config);
    load(files.traces, model, files.bounds);
    construct_mapping();
    calculatePendingWindow();
    calculateCompletionScans();
    if (reads_a_later_store()) return false;
    add_lo_arc(model);
    add_wt_arc();
    return true;
  }
};

// qirn's inference (open pairs alone retried after the first pass, narrow
// windows scanned op by op, wide ones searched, failed walks kept and
// brought up to date) inserts the arcs of the literal rule in the same
// order, with windows from a scan every tick to none for a hundred
// operations, and with few addresses on longer runs, where many questions
// start at one store.
TEST_F(OptimizedVerdict, InferenceInsertsTheArcsOfTheLiteralRuleInItsOrder) {
  const int runs = count_from_env("QIRN_INFERENCE_RUNS", 200);
  for (uint64_t seed = 1; seed <= static_cast<uint64_t>(runs); ++seed) {
    GenConfig config = shape(seed);
    config.scanDistance = 1 + static_cast<int32_t>(seed % 9);
    config.violations = static_cast<int32_t>(seed % 4);
    if (seed % 10 == 0) {  // windows wider than the scanned ones
      config.processors = 2;
      config.operations = 55;
      config.scanDistance = 200;
    }
    if (seed % 10 == 5) {
      config.processors = 6;
      config.operations = 60;
      config.addresses = 2;
    }
    const MCM_t model = seed % 2 == 0 ? SC : PC;
    if (!prepare(config, model)) continue;
    add_io_arc();
    const Arcs qirn = arcs();
    prepare(config, model);
    literal_optimized_inference();
    ASSERT_EQ(qirn, arcs()) << "seed " << seed;
  }
}

}  // namespace
