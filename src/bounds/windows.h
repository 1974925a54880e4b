// Pending windows and the timed-before test.
#pragma once

#include "qirn.h"

void calculatePendingWindow();
// 1 when the bounds prove that u completed before v was issued.
int_t check_TO(const opnode* u, const opnode* v);
