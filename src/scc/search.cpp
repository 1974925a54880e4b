#include "scc/search.h"

#include <optional>
#include <vector>

#include "bounds/active_windows.h"
#include "scc/frontier.h"
#include "scc/location_scan.h"
#include "scc/search_state.h"
#include "scc/selection.h"
#include "trace/sessions.h"

namespace {

constexpr int_t kComplete = -1;
constexpr int_t kDeadEnd = -2;

// One level of a search, with what its current placement saved for undo.
struct Level {
  opnode* lop = nullptr;  // the operation placed by the caller; null at the root
  int_t tLastLoc = -1;
  opnode* cand = nullptr;
  int_t nloc = -1;
  int_t addr = 0;
  opnode* tail = nullptr;
  int_t seq = 0;
  int_t temp = -1;
  int_t tLstOpInp = -1;
};

// What a level does next: go one level deeper, or answer its caller.
struct Step {
  bool descend;
  int_t result;
};

struct Search {
  int_t* f;
  int_t size;
  NodeMarks& visited;
};

void place(const Search& s, const Level& lv, opnode* cand, bool track_proc) {
  s.f[lv.nloc] = lv.seq;
  state->lastop[lv.addr] = cand;
  state->lastOpLoc = lv.nloc;
  s.visited.set(cand);
  if (track_proc) state->lastOpOfProc[cand->proc_num] = lv.seq;
}

void unplace(const Search& s, const Level& lv, opnode* cand, bool track_proc) {
  delModifiedF(s.f, s.size, lv.nloc, lv.tail, lv.seq);
  s.f[lv.nloc] = lv.temp;
  state->lastop[lv.addr] = lv.tail;
  state->lastOpLoc = lv.tLastLoc;
  if (track_proc) state->lastOpOfProc[cand->proc_num] = lv.tLstOpInp;
  s.visited.unset(cand);
}

// Runs levels until the root answers. `enter` fills a new level and answers
// whether the order is complete there; `advance` tries the level's next
// candidates; `resume` handles the answer of the level below and returns a
// value when the level answers too.
template <typename Enter, typename Advance, typename Resume>
int_t run_levels(Enter enter, Advance advance, Resume resume) {
  std::vector<Level> levels;
  std::optional<int_t> answer;
  levels.emplace_back();
  if (enter(levels.back())) return kComplete;
  while (true) {
    Level& lv = levels.back();
    if (answer.has_value()) answer = resume(lv, *answer);
    if (!answer.has_value()) {
      const Step step = advance(lv);
      if (!step.descend) {
        answer = step.result;
      } else {
        levels.emplace_back();
        if (!enter(levels.back())) continue;
        answer = kComplete;  // the new level finds the order complete
      }
    }
    levels.pop_back();
    if (levels.empty()) return *answer;
  }
}

// The location number of the lock of store n's session.
int_t lock_location_of_store(const opnode* n) {
  return state->addrColumns + acquireOfCurSync(n)->column;
}

int_t location_number(const opnode* n) {
  return n->optype == STORE ? n->column : state->addrColumns + n->column;
}

using Selector = opnode* (*)(const opnode*, const NodeMarks&);

Step advance_one_lock(const Search& s, Level& lv, Selector select) {
  while ((lv.cand = select(lv.cand, s.visited)) != nullptr) {
    opnode* cand = lv.cand;
    if (++state->exp_i > state->exp_limit) throw SearchAbandoned{};
    lv.nloc = locationInFrontier(cand);
    lv.addr = lv.nloc % location_count();
    lv.tail = state->lastop[lv.addr];
    lv.seq = cand->seq_num;
    lv.temp = s.f[lv.nloc];
    lv.tLstOpInp = state->lastOpOfProc[cand->proc_num];
    ++cand->timesOfChosen;
    const int_t mres = modifyFrontier(s.f, s.size, lv.nloc, lv.seq, lv.tail);
    if (mres == 1) {
      place(s, lv, cand, true);
      return {true, 0};
    }
    if (cand->optype == STORE) return {false, lock_location_of_store(cand)};
    if (mres == -1) return {false, lv.lop == lv.tail ? kDeadEnd : lv.addr};
  }
  if (lv.lop != nullptr && lv.lop->optype == STORE) return {false, lock_location_of_store(lv.lop)};
  return {false, kDeadEnd};
}

std::optional<int_t> resume_one_lock(const Search& s, Level& lv, int_t res) {
  if (res == kComplete) return kComplete;
  unplace(s, lv, lv.cand, true);
  if (res == kDeadEnd) return std::nullopt;
  // A conflict reaching the root has no operation to compare with there: the
  // root treats it as a dead end and tries its next candidate.
  if (lv.lop == nullptr) return std::nullopt;
  return res == location_number(lv.lop) ? kDeadEnd : res;
}

int_t explore_one_lock(int_t* f, int_t size, NodeMarks& visited, Selector select) {
  const Search s{f, size, visited};
  auto enter = [&](Level& lv) {
    lv.lop = toOperation(f, state->lastOpLoc);
    lv.tLastLoc = state->lastOpLoc;
    lv.cand = lv.lop;
    return is_last_frontier_new(f, size) == 1;
  };
  auto advance = [&](Level& lv) { return advance_one_lock(s, lv, select); };
  auto resume = [&](Level& lv, int_t res) { return resume_one_lock(s, lv, res); };
  return run_levels(enter, advance, resume);
}

Step advance_bfs(const Search& s, Level& lv) {
  const int_t num = location_count();
  while ((lv.nloc = findNextFrontierNew_bfs(s.f, s.size, lv.nloc, s.visited)) != -1) {
    if (++state->exp_i > state->exp_limit) throw SearchAbandoned{};
    lv.addr = lv.nloc % num;
    lv.tail = state->lastop[lv.addr];
    lv.seq = find_next_operation(s.f, lv.nloc);
    lv.temp = s.f[lv.nloc];
    const int_t mres = modifyFrontier(s.f, s.size, lv.nloc, lv.seq, lv.tail);
    if (mres == 1) {
      lv.cand = node_at(lv.nloc / num, lv.seq);
      place(s, lv, lv.cand, false);
      return {true, 0};
    }
    if (mres == -1) return {false, lv.addr};
  }
  return {false, kDeadEnd};
}

std::optional<int_t> resume_bfs(const Search& s, Level& lv, int_t res) {
  if (res == kComplete) return kComplete;
  unplace(s, lv, lv.cand, false);
  if (res == kDeadEnd) return std::nullopt;
  return res == lv.addr ? kDeadEnd : res;
}

}  // namespace

int_t exploreActiveFrontier(int_t* f, int_t size, int_t, NodeMarks& visited) {
  return explore_one_lock(f, size, visited, selectNextOp);
}

int_t exploreFrontier(int_t* f, int_t size, int_t, NodeMarks& visited) {
  return explore_one_lock(f, size, visited, selectNextOp_wt_new);
}

int_t exploreFrontier_bfs(int_t* f, int_t size, int_t, NodeMarks& visited) {
  const Search s{f, size, visited};
  auto enter = [&](Level& lv) {
    lv.tLastLoc = state->lastOpLoc;
    return is_last_frontier(f, size) == 1;
  };
  auto advance = [&](Level& lv) { return advance_bfs(s, lv); };
  auto resume = [&](Level& lv, int_t res) { return resume_bfs(s, lv, res); };
  return run_levels(enter, advance, resume);
}

int_t verificationAlgorithm() {
  const int_t size = state->NPROCESSOR * location_count();
  init_search_state(size);
  FrontierSearch& search = frontier_search();
  int_t* f = search.frontier.data();
  int_t result = kDeadEnd;
  if (state->isBase == 0) {
    init_sync_in_p(calculateSn());
    std::fprintf(state->out, "optimized algorithm begin ...\n");
    result = exploreActiveFrontier(f, size, -1, search.visited);
  } else {
    std::fprintf(state->out, "baseline algorithm begin !...\n");
    if (state->lockNum == 1)
      result = exploreFrontier(f, size, -1, search.visited);
    else
      result = exploreFrontier_bfs(f, size, -1, search.visited);
  }
  print_verdict(result != kComplete, result == kComplete ? "no cycle!" : "no path can be found!");
  return result;
}
