#include "graph/cycles.h"

int_t check_cycle() {
  return 0;
}
int_t dfs_check(opnode*, opnode*, NodeMarks&) {
  return 0;
}
int_t dfs_check_optimize(opnode*, opnode*, NodeMarks&) {
  return 0;
}
int_t dfs_check_baseline(opnode*, opnode*, NodeMarks&) {
  return 0;
}
int_t dfs_print(opnode*, opnode*, NodeMarks&) {
  return 0;
}
