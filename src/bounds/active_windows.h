// Active windows of stores and scan numbers for the scope-consistency search.
#pragma once

#include "qirn.h"

void calculateActivePendingWindow();
void updateUpperBound();
opnode* get_relaxed_operation(opnode* w);
void updateSn();
opnode* get_relaxed_sn_operation(opnode* w);
int_t calculateSn();
