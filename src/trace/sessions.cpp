#include "trace/sessions.h"

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "report/diagnostics.h"

namespace {

bool is_access(const opnode& x) {
  return ::is_access(&x);
}

// A member of a per-processor chain: an in-session load or store, or an acquire.
bool is_chain_member(const opnode& x) {
  return (is_access(x) && x.inSync == 1) || is_acquire(&x);
}

// Chains link operations of one kind on one address (acquires: one lock).
std::uint64_t chain_key(const opnode& x) {
  return (static_cast<std::uint64_t>(x.optype) << 32) | static_cast<std::uint32_t>(x.addr);
}

// Whether y may precede `node` in node's chain.
bool chains_with(const opnode& y, const opnode& node) {
  if (y.optype != SYNC) return y.inSync == 1 && y.optype == node.optype && y.addr == node.addr;
  return node.optype == SYNC && is_acquire(&y) && y.addr == node.addr;
}

std::vector<std::vector<int_t>> table_of(int_t columns) {
  const std::size_t width = columns > 0 ? static_cast<std::size_t>(columns) : 0;
  return std::vector<std::vector<int_t>>(static_cast<std::size_t>(state->NPROCESSOR),
                                         std::vector<int_t>(width, -1));
}

void keep_first(std::vector<int_t>& row, int_t column, int_t seq) {
  if (row[column] == -1) row[column] = seq;
}

void record_first_access(const opnode& x) {
  if (writes_memory(&x)) keep_first(state->firstWrite[x.proc_num], x.column, x.seq_num);
  if (reads_memory(&x)) keep_first(state->firstRead[x.proc_num], x.column, x.seq_num);
}

}  // namespace

opnode* lock_op_before(const opnode* u) {
  for (int_t s = u->seq_num - 1; s >= 0; --s) {
    opnode* y = node_at(u->proc_num, s);
    if (y->optype == SYNC) return y;
  }
  return nullptr;
}

opnode* lock_op_after(const opnode* u) {
  for (int_t s = u->seq_num + 1; s < state->procOpNum[u->proc_num]; ++s) {
    opnode* y = node_at(u->proc_num, s);
    if (y->optype == SYNC) return y;
  }
  return nullptr;
}

// Each processor starts outside any session, so a trace that ends inside one
// cannot carry it into the next processor.
void init_inSync() {
  for (auto& operations : state->graph) {
    bool open = false;
    for (opnode& x : operations) {
      if (is_acquire(&x)) {
        open = true;
      } else if (is_release(&x)) {
        open = false;
      } else if (open) {
        x.inSync = 1;
      }
    }
  }
}

void init_first_write_sync_read() {
  state->firstWrite = table_of(state->addrColumns);
  state->firstRead = table_of(state->addrColumns);
  if (state->lockColumns < 1) {
    init_first_op_without_lock();
    return;
  }
  state->firstSync = table_of(state->lockColumns);
  init_first_op_with_lock();
}

void init_first_op_with_lock() {
  for (const auto& operations : state->graph) {
    for (const opnode& x : operations) {
      if (is_acquire(&x)) keep_first(state->firstSync[x.proc_num], x.column, x.seq_num);
      if (x.inSync == 1) record_first_access(x);
    }
  }
}

void init_first_op_without_lock() {
  for (const auto& operations : state->graph) {
    for (const opnode& x : operations) record_first_access(x);
  }
}

// Links every chain member to the previous member of its chain, as
// find_previous_node would find it, in one pass per processor.
void update_pre_nxt_node() {
  std::unordered_map<std::uint64_t, opnode*> last;
  for (auto& operations : state->graph) {
    last.clear();
    for (opnode& x : operations) {
      if (!is_chain_member(x)) continue;
      opnode*& previous = last[chain_key(x)];
      x.pre = previous;
      if (previous != nullptr) previous->nxt = &x;
      previous = &x;
    }
  }
}

opnode* find_previous_node(opnode* node) {
  for (int_t s = node->seq_num - 1; s >= 0; --s) {
    opnode* y = node_at(node->proc_num, s);
    if (chains_with(*y, *node)) return y;
  }
  return nullptr;
}

// Pairs every release with the nearest acquire before it in its processor,
// whatever the locks; a release with no acquire before it stays unpaired.
void init_sa_sr() {
  for (auto& operations : state->graph) {
    opnode* acquire = nullptr;
    for (opnode& x : operations) {
      if (is_acquire(&x)) {
        acquire = &x;
      } else if (is_release(&x) && acquire != nullptr) {
        x.mapAcquire = acquire;
        acquire->mapRelease = &x;
      }
    }
  }
}

int_t count_sync(int_t lock) {
  int_t count = 0;
  for (const auto& operations : state->graph) {
    for (const opnode& x : operations) {
      if (is_acquire(&x) && x.addr == lock) ++count;
    }
  }
  return count;
}

int_t is_in_sync(const opnode* u) {
  const opnode* y = lock_op_before(u);
  return y != nullptr && is_acquire(y) ? 1 : 0;
}

opnode* acquireOfCurSync(const opnode* n) {
  for (int_t s = n->seq_num - 1; s >= 0; --s) {
    opnode* y = node_at(n->proc_num, s);
    if (is_acquire(y)) return y;
  }
  err_quit("err in in which sync!");
}

opnode* findReleaseForScC(const opnode* u, int_t lock) {
  const int_t end = static_cast<int_t>(state->graph[u->proc_num].size());
  for (int_t s = u->seq_num + 1; s < end; ++s) {
    opnode* y = node_at(u->proc_num, s);
    if (is_release(y) && y->addr == lock) return y;
  }
  err_quit("the ScC program for testing has errors!");
}
