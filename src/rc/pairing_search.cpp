#include "rc/pairing_search.h"

int_t check_for_rc() {
  return 1;
}
int_t dfs_check_for_rc(opnode*, NodeMarks&) {
  return 1;
}
int_t add_and_check_for_rc(opnode*, opnode*) {
  return 0;
}
int_t check_cycle_for_rc() {
  return 0;
}
void del_all_arc(opnode*, opnode*, NodeMarks&) {}
void dfs_print_for_rc(opnode*, NodeMarks&) {}
