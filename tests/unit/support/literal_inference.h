#pragma once

// The optimized inference exactly as qirn states it, pass by pass: window
// candidates per processor found by a scan of the whole store list, every
// candidate of every pass asked in full. qirn must insert the same arcs in
// the same order.
void literal_optimized_inference();
