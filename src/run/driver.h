// The stages of one verification run, grouped as the driver calls them.
#pragma once

#include "qirn.h"

// The largest of the first n entries of list.
int_t max(const int_t* list, int_t n);

// Turns out-of-memory into the ordinary fatal report.
void install_out_of_memory_handler();

void print_model_line();
void print_sizes();
// Trace, bounds, read-from mapping, windows and session structure.
void read_inputs();
// Session chains, active windows and scan numbers of scope consistency.
void prepare_scope_sessions();
// Program-order and write-to arcs, with their model-specific propagation.
void derive_arcs();

// The verdicts; each prints its lines. The release-consistency path ends the
// run's output itself (no count line, output left to process exit).
void verify_by_cycles();
void verify_release_consistency();
void verify_scope_consistency();

// "Count of choosing edge", then the output file is closed.
void finish_run();

// Every stage after the command line, in order, through the verdict and its
// closing lines.
void run_stages();
