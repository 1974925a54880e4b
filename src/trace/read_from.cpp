#include "trace/read_from.h"

#include <unordered_map>
#include <vector>

#include "report/diagnostics.h"

namespace {

std::uint64_t value_key(int_t addr, int_t val) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(addr)) << 32) |
         static_cast<std::uint32_t>(val);
}

// The loads of every (address, value) pair, in scan order.
std::unordered_map<std::uint64_t, std::vector<opnode*>> index_loads() {
  std::unordered_map<std::uint64_t, std::vector<opnode*>> loads;
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype == LOAD) loads[value_key(node.addr, node.val)].push_back(&node);
    }
  }
  return loads;
}

// The first reader found heads the list; each later one goes right after it.
void add_reader(opnode& store, const opnode& load) {
  ldnode& cell = state.ldCells.emplace_back();
  cell.ld[0] = load.proc_num;
  cell.ld[1] = load.seq_num;
  if (store.map_ld.fstld == nullptr) {
    store.map_ld.fstld = &cell;
  } else {
    cell.nxtld = store.map_ld.fstld->nxtld;
    store.map_ld.fstld->nxtld = &cell;
  }
  ++store.map_ld.n_ld;
}

void map_readers(opnode& store, const std::vector<opnode*>& readers, std::vector<bool>& matched) {
  for (opnode* load : readers) {
    matched[load->id] = true;
    load->map_st[0] = store.proc_num;
    load->map_st[1] = store.seq_num;
    add_reader(store, *load);
  }
}

}  // namespace

int_t construct_mapping() {
  const auto loads = index_loads();
  std::vector<bool> matched(static_cast<std::size_t>(state.nodeCount), false);
  for (auto& operations : state.graph) {
    for (opnode& node : operations) {
      if (node.optype != STORE) continue;
      node.map_ld.n_ld = 0;
      const auto readers = loads.find(value_key(node.addr, node.val));
      if (readers != loads.end()) map_readers(node, readers->second, matched);
    }
  }
  for (const auto& operations : state.graph) {
    for (const opnode& node : operations) {
      if (node.optype == LOAD && node.val != 0 && !matched[node.id]) {
        err_quit("panic: load read illegal value:proc %d, seq %d, val %d", node.proc_num,
                 node.seq_num, node.val);
      }
    }
  }
  return 0;
}

opnode* st_mapping(const opnode* load) {
  QIRN_ISVALID(load->optype == LOAD, kLoadLookupSite);
  if (load->val == 0) return &state.sentinel;
  return node_at(load->map_st[0], load->map_st[1]);
}

opnode* ld_mapping(const ldnode* cell) {
  return node_at(cell->ld[0], cell->ld[1]);
}
