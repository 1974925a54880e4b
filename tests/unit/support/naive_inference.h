// The optimized inference in its plainest form, kept to check the reduced
// one against: every store to the address is a candidate of every rule, the
// order between two operations is asked of time and then of a walk, every
// load that read a store counts for the overwritten-after rule, and passes
// repeat until one adds nothing.
#pragma once

void naive_optimized_inference();
