#include "bounds/scans.h"

void calculate_scan() {}
int_t read_bound_res() {
  return 0;
}
void calculateScanNo() {}
