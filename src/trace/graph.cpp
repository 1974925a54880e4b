#include "trace/graph.h"

#include <algorithm>
#include <cstddef>

namespace {

// Points a node's two window vectors into the shared window store.
void attach_windows(opnode& node, std::size_t slot) {
  const std::size_t width = static_cast<std::size_t>(state->NPROCESSOR);
  node.upw = state->windowStore.data() + 2 * slot * width;
  node.lpw = node.upw + width;
}

}  // namespace

int_t qirn_init() {
  const int_t processors = state->NPROCESSOR;
  std::size_t total = 0;
  for (int_t p = 0; p < processors; ++p) total += static_cast<std::size_t>(state->procOpNum[p]);
  state->nodeCount = static_cast<int_t>(total);
  // Every window starts at -3 (not computed), the sentinel's at 0.
  const std::size_t width = static_cast<std::size_t>(processors);
  state->windowStore.assign(2 * (total + 1) * width, -3);
  std::fill(state->windowStore.end() - 2 * width, state->windowStore.end(), 0);

  state->graph.assign(static_cast<std::size_t>(processors), {});
  std::size_t slot = 0;
  for (int_t p = 0; p < processors; ++p) {
    state->graph[p].resize(static_cast<std::size_t>(state->procOpNum[p]));
    for (int_t s = 0; s < state->procOpNum[p]; ++s, ++slot) {
      opnode& node = state->graph[p][s];
      node.proc_num = p;
      node.seq_num = s;
      node.id = static_cast<int_t>(slot);
      attach_windows(node, slot);
    }
  }
  state->sentinel = opnode{};
  state->sentinel.id = state->nodeCount;
  attach_windows(state->sentinel, total);

  // Scan rows are added as the bound files' rows are checked, so a bogus scan
  // count on a last line costs nothing; row 0 stays 0,0.
  if (state->isBase == 1) return 0;
  state->scan.start(processors);
  return 0;
}
