#include "rc/propagation.h"

#include <unordered_map>
#include <vector>

#include "derive/program_order.h"
#include "graph/arc_store.h"
#include "report/diagnostics.h"
#include "trace/sessions.h"

namespace {

// Inserts release -> the acquire opening v's session (v inside one) or the
// acquire following v (v before one).
void carry_to_target(opnode* release, const opnode* v, bool v_inside, ORDER_t order) {
  ins_arc(release, v_inside ? findAcquire(v) : upFindAcquire(v), order);
}

}  // namespace

void ins_arc_for_rc(opnode* u, opnode* v, ORDER_t order) {
  if (u->proc_num == v->proc_num) return;
  // Without an acquire around or after v no position of u yields an arc.
  const bool v_inside = is_in_sync(v) == 1;
  if (!v_inside && is_up_sync(v) != 1) return;
  if (is_below_sync(u) == 1) {
    carry_to_target(belowFindRelease(u), v, v_inside, order);
  } else if (is_in_sync(u) == 1) {
    carry_to_target(findRelease(u), v, v_inside, order);
  }
}

void rc_write_to_carry(opnode* store, opnode* load) {
  ins_arc_for_rc(store, load, Wt);
}

void add_lo_for_sync() {
  std::unordered_map<int_t, opnode*> next_acquire;
  std::vector<opnode*> targets;
  for (auto& operations : state->graph) {
    // Walking backwards leaves, at each release, the next acquire of every
    // lock after it; the arcs are then inserted in ascending release order.
    next_acquire.clear();
    targets.assign(operations.size(), nullptr);
    for (auto s = operations.size(); s-- > 0;) {
      opnode* y = &operations[s];
      if (is_acquire(y)) next_acquire[y->addr] = y;
      if (!is_release(y)) continue;
      const auto found = next_acquire.find(y->addr);
      if (found != next_acquire.end()) targets[s] = found->second;
    }
    for (std::size_t s = 0; s < operations.size(); ++s) {
      if (targets[s] != nullptr) ins_arc(&operations[s], targets[s], LO);
    }
  }
}

int_t is_below_sync(const opnode* u) {
  const opnode* y = lock_op_before(u);
  return y != nullptr && is_release(y) ? 1 : 0;
}

int_t is_up_sync(const opnode* u) {
  const opnode* y = lock_op_after(u);
  return y != nullptr && is_acquire(y) ? 1 : 0;
}

opnode* belowFindRelease(const opnode* u) {
  if (is_below_sync(u) != 1) err_quit("sth wrong when belowfr!");
  opnode* y = lock_op_before(u);
  if (y == nullptr || !is_release(y)) err_quit("sth wrong when bfr!");
  return y;
}

opnode* upFindAcquire(const opnode* u) {
  if (is_up_sync(u) != 1) err_quit("sth wrong when upfa!");
  opnode* y = lock_op_after(u);
  if (y == nullptr || !is_acquire(y)) err_quit("sth wrong when ufa!");
  return y;
}
