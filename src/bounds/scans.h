// Bound files: per processor, the range of operations around each scan.
#pragma once

#include "qirn.h"

void calculate_scan();
int_t read_bound_res();
void calculateScanNo();
