// Lock sessions: the stretch of a processor's trace from an acquire to the
// release that ends it, and the queries later stages ask about them.
#pragma once

#include "qirn.h"

// Marks every load and store that lies inside a session of its processor.
void init_inSync();
// Fills firstWrite and firstRead (in-session accesses only when the trace has
// locks) and, with locks, firstSync; -1 marks none.
void init_first_write_sync_read();
void init_first_op_with_lock();
void init_first_op_without_lock();
// Chains, per processor, in-session accesses of one kind and address, and
// acquires of one lock, through `nxt` and `pre`.
void update_pre_nxt_node();
// The nearest earlier operation of node's chain, or null.
opnode* find_previous_node(opnode* node);
// Pairs every release with the nearest acquire before it (`mapAcquire`,
// `mapRelease`).
void init_sa_sr();
// The number of acquires of `lock` over all processors.
int_t count_sync(int_t lock);
// The nearest lock operation before / after u in its processor, or null.
opnode* lock_op_before(const opnode* u);
opnode* lock_op_after(const opnode* u);
// 1 when the nearest lock operation before u is an acquire.
int_t is_in_sync(const opnode* u);
// The nearest acquire before n; stops the run when there is none.
opnode* acquireOfCurSync(const opnode* n);
// The first release of `lock` after u; stops the run when there is none.
opnode* findReleaseForScC(const opnode* u, int_t lock);
