// The stages of one verification run, grouped as the driver calls them.
#pragma once

#include "qirn.h"

// The largest of the first n entries of list.
int_t max(const int_t* list, int_t n);

void print_model_line();
void print_sizes();
// The operations of every processor, counted into `procOpNum`, from the
// trace files or, with --trace, from the one file, which also sets the
// processor count.
void count_operations();
// Trace, bounds, read-from mapping, windows and session structure.
void read_inputs();
// Session chains, active windows and scan numbers of scope consistency.
void prepare_scope_sessions();
// Whether the frontier search of scope consistency can run: in baseline mode
// always, in optimized mode on traces with exactly one lock.
bool frontier_search_available();
// Program-order and write-to arcs, with their model-specific propagation.
void derive_arcs();

// The verdicts; each prints its lines. The release-consistency path prints no
// count line.
void verify_by_cycles();
void verify_release_consistency();
void verify_scope_consistency();

// "Count of choosing edge".
void finish_run();
// Flushes standard output and closes the output file; a write that failed on
// the way stops the run with "write output file" and the system's reason.
void close_output();

// One whole run from a fresh run state: options, stages and verdict. Returns
// the exit status; fatal stops propagate to the caller (see `run_guarded`).
int run_qirn(int argc, char** argv);
// The stages on the settings already in the run state, with `run_qirn`'s
// exit status.
int run_stages();
