// Lock sessions: the stretch of a processor's trace from an acquire to the
// release that ends it, and the queries later stages ask about them.
#pragma once

#include "qirn.h"

void init_inSync();
void init_first_write_sync_read();
void init_first_op_with_lock();
void init_first_op_without_lock();
void update_pre_nxt_node();
opnode* find_previous_node(opnode* node);
void init_sa_sr();
int_t count_sync(int_t lock);
int_t is_in_sync(const opnode* u);
opnode* acquireOfCurSync(const opnode* n);
opnode* findReleaseForScC(const opnode* u, int_t lock);
