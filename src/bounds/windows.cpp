#include "bounds/windows.h"

void calculatePendingWindow() {}
int_t check_TO(const opnode*, const opnode*) {
  return 0;
}
