#include "scc/propagation.h"

void ins_arc_for_scc(opnode*, opnode*, ORDER_t) {}
void pre_lmt_sync() {}
