#include "bounds/active_windows.h"

void calculateActivePendingWindow() {}
void updateUpperBound() {}
opnode* get_relaxed_operation(opnode*) {
  return nullptr;
}
void updateSn() {}
opnode* get_relaxed_sn_operation(opnode*) {
  return nullptr;
}
int_t calculateSn() {
  return 0;
}
