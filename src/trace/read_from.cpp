#include "trace/read_from.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "report/diagnostics.h"

namespace {

std::uint64_t value_key(int_t addr, int_t val) {
  return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(addr)) << 32) |
         static_cast<std::uint32_t>(val);
}

struct KeyedLoad {
  std::uint64_t key;
  opnode* load;
};

// Every load with its (address, value) key, sorted by key and, within a key,
// in scan order.
std::vector<KeyedLoad> index_loads() {
  std::vector<KeyedLoad> loads;
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      if (reads_memory(&node)) loads.push_back({value_key(node.addr, value_read(&node)), &node});
    }
  }
  std::stable_sort(loads.begin(), loads.end(),
                   [](const KeyedLoad& a, const KeyedLoad& b) { return a.key < b.key; });
  return loads;
}

// The loads that read the value `key` names, in scan order.
std::pair<std::vector<KeyedLoad>::const_iterator, std::vector<KeyedLoad>::const_iterator>
readers_of(const std::vector<KeyedLoad>& loads, std::uint64_t key) {
  const auto first = std::partition_point(
      loads.begin(), loads.end(), [key](const KeyedLoad& entry) { return entry.key < key; });
  const auto last = std::partition_point(
      first, loads.end(), [key](const KeyedLoad& entry) { return entry.key == key; });
  return {first, last};
}

// The first reader found heads the list; each later one goes right after it.
void add_reader(opnode& store, const opnode& load) {
  ldnode& cell = state->ldCells.emplace_back();
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

template <typename Range>
void map_readers(opnode& store, const Range& readers, std::vector<bool>& matched) {
  for (auto entry = readers.first; entry != readers.second; ++entry) {
    opnode* load = entry->load;
    if (load == &store) continue;  // an RMW cannot read what it writes itself
    matched[load->id] = true;
    load->map_st[0] = store.proc_num;
    load->map_st[1] = store.seq_num;
    add_reader(store, *load);
  }
}

}  // namespace

int_t construct_mapping() {
  const auto loads = index_loads();
  std::vector<bool> matched(static_cast<std::size_t>(state->nodeCount), false);
  for (auto& operations : state->graph) {
    for (opnode& node : operations) {
      if (!writes_memory(&node)) continue;
      node.map_ld.n_ld = 0;
      map_readers(node, readers_of(loads, value_key(node.addr, node.val)), matched);
    }
  }
  for (const auto& operations : state->graph) {
    for (const opnode& node : operations) {
      if (reads_memory(&node) && value_read(&node) != 0 && !matched[node.id]) {
        err_quit("panic: load read illegal value:proc %d, seq %d, val %d", node.proc_num,
                 node.seq_num, value_read(&node));
      }
    }
  }
  return 0;
}

opnode* st_mapping(const opnode* load) {
  QIRN_ISVALID(reads_memory(load), kLoadLookupSite);
  if (value_read(load) == 0) return &state->sentinel;
  return node_at(load->map_st[0], load->map_st[1]);
}

bool reads_earlier_own_store(const opnode* store, const opnode* load) {
  return store->proc_num == load->proc_num && store->seq_num < load->seq_num &&
         st_mapping(load) == store;
}

opnode* ld_mapping(const ldnode* cell) {
  return node_at(cell->ld[0], cell->ld[1]);
}
