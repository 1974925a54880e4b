#include "graph/arc_store.h"

namespace {

// Node ids stay below 2^29, so (source, target, order) packs into 64 bits.
std::uint64_t arc_key(const opnode* u, const opnode* v, ORDER_t order) {
  return (static_cast<std::uint64_t>(u->id) << 35) | (static_cast<std::uint64_t>(v->id) << 3) |
         static_cast<std::uint64_t>(order);
}

oparc* new_cell() {
  ArcStorage& arcs = state->arcs;
  if (!arcs.freeCells.empty()) {
    oparc* cell = arcs.freeCells.back();
    arcs.freeCells.pop_back();
    return cell;
  }
  return &arcs.cells.emplace_back();
}

void link_at_head(opnode* u, oparc* cell) {
  cell->nxtarc = u->pointTo;
  if (u->pointTo != nullptr) u->pointTo->prvarc = cell;
  u->pointTo = cell;
  if (u->pointToTail == nullptr) u->pointToTail = cell;
}

void link_at_tail(opnode* u, oparc* cell) {
  cell->prvarc = u->pointToTail;
  if (u->pointToTail != nullptr) u->pointToTail->nxtarc = cell;
  u->pointToTail = cell;
  if (u->pointTo == nullptr) u->pointTo = cell;
}

void unlink(opnode* u, oparc* cell) {
  if (cell->prvarc != nullptr)
    cell->prvarc->nxtarc = cell->nxtarc;
  else
    u->pointTo = cell->nxtarc;
  if (cell->nxtarc != nullptr)
    cell->nxtarc->prvarc = cell->prvarc;
  else
    u->pointToTail = cell->prvarc;
}

}  // namespace

int_t ins_arc(opnode* u, opnode* v, ORDER_t order) {
  if (u == &state->sentinel) return 1;
  auto [slot, inserted] = state->arcs.index.try_emplace(arc_key(u, v, order));
  if (!inserted) return 1;
  oparc* cell = new_cell();
  *cell = oparc{v, u, order, nullptr, nullptr};
  *slot = cell;
  if (order == RO || order == Syn)
    link_at_tail(u, cell);
  else
    link_at_head(u, cell);
  return 0;
}

void link_program_order_arc(opnode* u, opnode* v) {
  oparc* cell = new_cell();
  *cell = oparc{v, u, LO, nullptr, nullptr};
  link_at_head(u, cell);
}

bool list_holds(const opnode* u, const opnode* v, ORDER_t order) {
  for (const oparc* arc = u->pointTo; arc != nullptr; arc = arc->nxtarc) {
    if (arc->nptr == v && arc->order == order) return true;
  }
  return false;
}

int_t ins_reverse_arc(opnode* u, opnode* v, ORDER_t order) {
  ++u->pointed;
  roparc& cell = state->arcs.reverseCells.emplace_back();
  cell = roparc{v, u, order, u->pointFrom};
  u->pointFrom = &cell;
  return 0;
}

int_t has_arc(const opnode* u, const opnode* v, ORDER_t order) {
  return state->arcs.index.find(arc_key(u, v, order)) != nullptr ? 1 : 0;
}

int_t del_arc(opnode* u, opnode* v, ORDER_t order) {
  oparc* cell = state->arcs.index.erase(arc_key(u, v, order));
  if (cell == nullptr) return 1;
  unlink(u, cell);
  state->arcs.freeCells.push_back(cell);
  return 0;
}
