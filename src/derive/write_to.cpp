#include "derive/write_to.h"

int_t add_wt_arc() {
  return 0;
}
int_t add_io_arc() {
  return 0;
}
int_t add_io_arc_baseline() {
  return 0;
}
int_t add_io_arc_optimize() {
  return 0;
}
int_t check_go(opnode*, opnode*) {
  return 0;
}
int_t dfs_go(opnode*, opnode*, opnode*, NodeMarks&) {
  return 0;
}
int_t op_in_pw(const opnode*, const opnode*) {
  return 1;
}
