// Read-from mapping: every load is tied to the store whose address and value
// it shares, or to the sentinel (the initial value 0).
#pragma once

#include "qirn.h"

// Fills `map_st` of loads and `map_ld` of stores; stops on a load of a
// non-zero value that no store of its address wrote.
int_t construct_mapping();
// The store a load read from, or the sentinel for a load of 0.
opnode* st_mapping(const opnode* load);
// The load named by a cell of a store's reader list.
opnode* ld_mapping(const ldnode* cell);
// Whether `load` is tied to `store` and comes after it on the same processor.
// A store's reader list holds every load of its value, so this is what tells
// which of them read this store.
bool reads_earlier_own_store(const opnode* store, const opnode* load);
