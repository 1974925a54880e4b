#include "support/naive_inference.h"

#include "bounds/scan_order.h"
#include "bounds/windows.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "trace/read_from.h"

namespace {

bool ordered(opnode* u, opnode* v) {
  return check_TO(u, v) != 0 || scan_before(u, v) != 0 || check_go(u, v) != 0;
}

template <class Try>
int each_store(int_t addr, Try attempt) {
  int inserted = 0;
  for (auto& operations : state.graph) {
    for (opnode& v : operations) {
      if (v.optype == STORE && v.addr == addr && attempt(&v)) ++inserted;
    }
  }
  return inserted;
}

int infer_for_load(opnode* r) {
  opnode* w = st_mapping(r);
  if (w == &state.sentinel) {
    return each_store(r->addr, [&](opnode* v) { return ins_arc(r, v, IO) == 0; });
  }
  return each_store(w->addr,
                    [&](opnode* v) { return v != w && ordered(v, r) && ins_arc(v, w, IO) == 0; });
}

int infer_for_store(opnode* w) {
  int inserted = 0;
  for (const ldnode* cell = w->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    opnode* r = ld_mapping(cell);
    inserted += each_store(
        w->addr, [&](opnode* v) { return v != w && ordered(w, v) && ins_arc(r, v, IO) == 0; });
  }
  return inserted;
}

int pass() {
  int inserted = 0;
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype == LOAD) inserted += infer_for_load(&node);
      if (node.optype == STORE) inserted += infer_for_store(&node);
    }
  }
  return inserted;
}

}  // namespace

void naive_optimized_inference() {
  while (pass() != 0) {
  }
}
