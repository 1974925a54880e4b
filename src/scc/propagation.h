// Scope consistency: session precedences and session preprocessing.
#pragma once

#include "qirn.h"

void ins_arc_for_scc(opnode* u, opnode* v, ORDER_t order);
void pre_lmt_sync();
