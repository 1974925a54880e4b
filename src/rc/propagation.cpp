#include "rc/propagation.h"

void ins_arc_for_rc(opnode*, opnode*, ORDER_t) {}
void add_lo_for_sync() {}
int_t is_below_sync(const opnode*) {
  return 0;
}
int_t is_up_sync(const opnode*) {
  return 0;
}
opnode* belowFindRelease(const opnode*) {
  return nullptr;
}
opnode* upFindAcquire(const opnode*) {
  return nullptr;
}
