// Work split by processor over several threads.
//
// Each worker binds the caller's run state, so the work may read the run's
// settings and tables; it must write only what belongs to its own processor.
// Anything that prints, or stops the run, stays with the caller, which goes
// through the processors' results in order afterwards: so the bytes a run
// gives never depend on the number of threads.
#pragma once

#include <functional>

#include "qirn.h"

// The threads a run uses: --threads, or else every core available.
int_t worker_count();

// Runs work(p) for every processor p, on up to worker_count() threads (the
// caller's among them); with one thread, in order on the caller's alone. When
// work threw, rethrows the exception of the lowest such processor after
// every worker finished.
void for_each_processor(const std::function<void(int_t)>& work);
