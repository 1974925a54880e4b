#include "trace/sessions.h"

void init_inSync() {}
void init_first_write_sync_read() {}
void init_first_op_with_lock() {}
void init_first_op_without_lock() {}
void update_pre_nxt_node() {}
opnode* find_previous_node(opnode*) {
  return nullptr;
}
void init_sa_sr() {}
int_t count_sync(int_t) {
  return 0;
}
int_t is_in_sync(const opnode*) {
  return 0;
}
opnode* acquireOfCurSync(const opnode*) {
  return nullptr;
}
opnode* findReleaseForScC(const opnode*, int_t) {
  return nullptr;
}
