#include "scc/search_state.h"

#include "report/diagnostics.h"

FrontierSearch& frontier_search() {
  thread_local FrontierSearch search;
  return search;
}

void init_search_state(int_t size) {
  FrontierSearch& search = frontier_search();
  search.frontier.assign(static_cast<std::size_t>(size), -1);
  search.visited.clear();
  state->lastop.assign(static_cast<std::size_t>(location_count()), nullptr);
  state->lastOpOfProc.assign(static_cast<std::size_t>(state->NPROCESSOR), -1);
  state->lastOpLoc = -1;
}

opnode* first_acquire(int_t p) {
  for (opnode& n : state->graph[p]) {
    if (is_acquire(&n)) return &n;
  }
  return nullptr;
}

void init_sync_in_p(int_t sn) {
  const std::size_t width = static_cast<std::size_t>(sn) + 1;
  state->syncInP.assign(static_cast<std::size_t>(state->NPROCESSOR),
                        std::vector<opnode*>(width, nullptr));
  for (int_t p = 0; p < state->NPROCESSOR; ++p) {
    std::vector<opnode*>& row = state->syncInP[p];
    for (opnode* sa = first_acquire(p); sa != nullptr; sa = sa->nxt) {
      const int_t s = sa->scanIndex;
      if (s >= 0 && static_cast<std::size_t>(s) < width && row[s] == nullptr) row[s] = sa;
    }
  }
}

opnode* session_release(const opnode* sa) {
  if (sa->mapRelease == nullptr) err_quit("the ScC program for testing has errors!");
  return sa->mapRelease;
}

opnode* session_acquire(const opnode* sr) {
  if (sr->mapAcquire == nullptr) err_quit("the ScC program for testing has errors!");
  return sr->mapAcquire;
}
