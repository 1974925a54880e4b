// The optimized inference in its plainest form, kept to check the reduced
// one against: every store to the address is a candidate of every rule, the
// order between two operations is asked of time and then of a walk, every
// load that read a store counts for the overwritten-after rule, and passes
// repeat until one adds nothing.
#pragma once

void naive_optimized_inference();

// The optimized inference exactly as qirn states it, pass by pass: window
// candidates per processor found by a scan of the whole store list, every
// candidate of every pass asked in full. qirn must insert the same arcs in
// the same order.
void literal_optimized_inference();
