#include "derive/program_order.h"

int_t add_lo_arc(MCM_t) {
  return 0;
}
int_t add_lo_arc_baseline(MCM_t) {
  return 0;
}
int_t add_lo_arc_optimize(MCM_t) {
  return 0;
}
opnode* findRelease(const opnode*) {
  return nullptr;
}
opnode* findAcquire(const opnode*) {
  return nullptr;
}
