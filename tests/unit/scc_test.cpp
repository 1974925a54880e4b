#include <gtest/gtest.h>
#include <pthread.h>

#include <string>

#include "bounds/windows.h"
#include "graph/arc_store.h"
#include "scc/frontier.h"
#include "scc/location_scan.h"
#include "scc/propagation.h"
#include "scc/search.h"
#include "scc/search_state.h"
#include "scc/selection.h"
#include "scc_fixture.h"

namespace {

class FrontierSearchTest : public ScopeFixture {
 protected:
  struct Placed {
    int_t loc;
    opnode* tail;
  };

  void start() {
    size_ = state.NPROCESSOR * location_count();
    init_search_state(size_);
  }
  int_t* f() { return frontier_search().frontier.data(); }

  // Places n behind the tail of its location as a search level does.
  int_t place(opnode* n) {
    const int_t loc = locationInFrontier(n);
    opnode*& tail = state.lastop[loc % location_count()];
    const int_t res = modifyFrontier(f(), size_, loc, n->seq_num, tail);
    if (res != 1) return res;
    placed_.push_back({loc, tail});
    f()[loc] = n->seq_num;
    tail = n;
    frontier_search().visited.set(n);
    return res;
  }

  void undo_last() {
    const Placed last = placed_.back();
    placed_.pop_back();
    opnode* n = toOperation(f(), last.loc);
    delModifiedF(f(), size_, last.loc, last.tail, n->seq_num);
    f()[last.loc] = last.tail == nullptr ? -1 : last.tail->seq_num;
    state.lastop[last.loc % location_count()] = last.tail;
    frontier_search().visited.unset(n);
  }

  int_t size_ = 0;
  std::vector<Placed> placed_;
};

// Processor 0 writes 1; processor 1 reads 0 and 1 and writes 2; processor 2
// writes 3.
const std::vector<std::string> kOneAddress = {
    "acquire 0\nstore 0 1\nrelease 0\n", "acquire 0\nload 0 0\nload 0 1\nstore 0 2\nrelease 0\n",
    "acquire 0\nstore 0 3\nrelease 0\n"};

TEST_F(FrontierSearchTest, EveryPlacementAndItsUndoLeaveTheArcListsAsBefore) {
  prepare(kOneAddress);
  start();
  const Arcs before = arcs();

  ASSERT_EQ(place(op(0, 0)), 1);
  EXPECT_EQ(arcs(), before);  // the first session of a lock adds nothing
  ASSERT_EQ(place(op(0, 1)), 1);
  // The leading reader of the initial value precedes the first store.
  EXPECT_EQ(has_arc(op(1, 1), op(0, 1), Co), 1);
  const Arcs first_store = arcs();

  // Processor 1 read 0 from address 0 and would now follow the store of 1.
  EXPECT_EQ(place(op(1, 0)), 0);
  EXPECT_EQ(arcs(), first_store);

  ASSERT_EQ(place(op(2, 0)), 1);
  EXPECT_EQ(has_arc(op(0, 2), op(2, 0), Syn), 1);
  undo_last();
  EXPECT_EQ(arcs(), first_store);

  ASSERT_EQ(place(op(1, 3)), 1);  // behind the store of 1, which 1:2 read
  EXPECT_EQ(has_arc(op(0, 1), op(1, 3), Co), 1);
  EXPECT_EQ(has_arc(op(1, 2), op(1, 3), Co), 1);
  undo_last();
  undo_last();
  undo_last();
  EXPECT_EQ(arcs(), before);
}

TEST_F(FrontierSearchTest, HardRefusalOfAStoreKeepsOnlyTheRecordedPrecedence) {
  prepare(kOneAddress);
  start();
  ASSERT_EQ(place(op(0, 1)), 1);
  const Arcs before = arcs();
  // The reader of the store of 1 lies in a later scan than the store of 3.
  state.isBase = 0;
  for (opnode& n : state.graph[1]) n.scanIndex = 2;
  for (opnode& n : state.graph[2]) n.scanIndex = 1;
  EXPECT_EQ(printed([&] { EXPECT_EQ(place(op(2, 1)), -1); }), "w1[2][1],r[1][2]\nw[0][1]\n");
  Arcs expected = before;
  expected.pointed[1] += 2;
  expected.reverse[1] = {{2, 1, Co}, {2, 1, Co}};
  EXPECT_EQ(arcs(), expected);
  EXPECT_EQ(isQualifiedWrite(op(0, 1), frontier_search().visited), 0);
}

TEST_F(FrontierSearchTest, TimedPathFollowsLongChainsOnAnExplicitStack) {
  constexpr int_t kLength = 100000;
  std::string trace;
  for (int_t i = 0; i < kLength; ++i) trace += "load 0 0\n";
  load({trace}, ScC);
  for (int_t s = 0; s + 1 < kLength; ++s) ins_arc(op(0, s), op(0, s + 1), LO);
  NodeMarks marks;
  marks.clear();
  EXPECT_EQ(foundTimedPath(op(0, 0), op(0, 0), marks), 0);
  ins_arc(op(0, kLength - 1), op(0, 0), LO);
  marks.clear();
  EXPECT_EQ(foundTimedPath(op(0, 0), op(0, 0), marks), 1);
}

// An operation timed after the start is passed over, and the node that
// leads to it goes on with its later arcs.
TEST_F(FrontierSearchTest, TimedPathPassesOverAnOperationTimedAfterTheStart) {
  load({"load 0 1\nload 1 0\nload 1 0\nload 0 0\n", "store 0 1\n"}, ScC,
       {"1:1,1\n2:3,3\n3:3,4\n", "1:0,1\n2:0,1\n3:0,1\n"});
  calculatePendingWindow();
  ASSERT_EQ(check_TO(op(0, 0), op(0, 3)), 1);
  ins_arc(op(0, 0), op(1, 0), IO);
  ins_arc(op(1, 0), op(0, 0), Wt);
  ins_arc(op(1, 0), op(0, 3), IO);  // newest, so looked at first
  NodeMarks marks;
  marks.clear();
  EXPECT_EQ(foundTimedPath(op(0, 0), op(0, 0), marks), 1);
  EXPECT_FALSE(marks.test(op(0, 3)));
}

TEST_F(FrontierSearchTest, SessionWaitsForTheSessionItsPrecedenceNames) {
  prepare({"acquire 0\nrelease 0\n", "acquire 0\nrelease 0\n"});
  start();
  ins_reverse_arc(op(0, 0), op(1, 0), Syn);
  const NodeMarks& visited = frontier_search().visited;
  EXPECT_EQ(selectNextOp_wt_new(nullptr, visited), op(1, 0));
  ASSERT_EQ(place(op(1, 0)), 1);
  state.lastOpOfProc[1] = 0;
  EXPECT_EQ(selectNextOp_wt_new(op(1, 0), visited), op(0, 0));
  EXPECT_EQ(selectNextOp_wt_new(op(0, 0), visited), nullptr);  // no alternative above
}

TEST_F(FrontierSearchTest, LocationPassStartsAfterTheLastChangeAndEndsThere) {
  prepare({"store 0 1\nstore 1 1\n", "store 0 2\nstore 1 2\n"});
  start();
  const auto pass = [this] {
    std::vector<int_t> locs;
    for (int_t loc = -1;
         (loc = findNextFrontierNew_bfs(f(), size_, loc, frontier_search().visited)) != -1;) {
      locs.push_back(loc);
    }
    return locs;
  };
  EXPECT_EQ(pass(), (std::vector<int_t>{0, 1, 2, 3}));

  ASSERT_EQ(place(op(0, 1)), 1);
  state.lastOpLoc = 1;
  ins_reverse_arc(op(1, 1), op(0, 0), Co);  // 1:1 waits for 0:0
  EXPECT_EQ(pass(), (std::vector<int_t>{2, 0}));
  EXPECT_EQ(is_last_frontier(f(), size_), 0);
}

void* run_search(void* result) {
  *static_cast<int_t*>(result) = verificationAlgorithm();
  return nullptr;
}

TEST_F(FrontierSearchTest, DeepSearchRunsOnASmallStack) {
  constexpr int_t kSessions = 2500;
  std::string trace;
  for (int_t i = 0; i < kSessions; ++i) trace += "acquire 0\nrelease 0\n";
  prepare({trace});
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 128 * 1024);
  pthread_t thread;
  int_t result = 0;
  printed([&] {
    ASSERT_EQ(pthread_create(&thread, &attr, run_search, &result), 0);
    pthread_join(thread, nullptr);
  });
  EXPECT_EQ(result, -1);
  EXPECT_EQ(state.exp_i, kSessions);
}

class ScopePropagation : public ScopeFixture {
 protected:
  static void set_scans(int_t p, const std::vector<int_t>& scans) {
    for (std::size_t s = 0; s < scans.size(); ++s) state.graph[p][s].scanIndex = scans[s];
  }
  static std::vector<opnode*> named_at(const opnode* n) {
    std::vector<opnode*> named;
    for (const roparc* a = n->pointFrom; a != nullptr; a = a->nxtarc) named.push_back(a->nptr);
    return named;
  }
};

TEST_F(ScopePropagation, WriteToBetweenSessionsOfOneLockRecordsTheWritersSession) {
  prepare({"acquire 0\nstore 0 1\nstore 1 1\nrelease 0\nstore 2 1\n",
           "acquire 0\nload 0 1\nload 0 1\nload 2 1\nrelease 0\n",
           "acquire 1\nload 1 1\nrelease 1\n"});
  // Two loads of one session read the same store: two identical records.
  EXPECT_EQ(named_at(op(1, 0)), (std::vector<opnode*>{op(0, 0), op(0, 0)}));
  EXPECT_EQ(op(1, 0)->pointed, 2);
  // The session reading through lock 1 is not ordered against lock 0.
  EXPECT_EQ(op(2, 0)->pointed, 0);

  EXPECT_EQ(ins_arc_for_scc(op(0, 1), op(0, 1), Wt), 0);  // same processor
  EXPECT_EQ(ins_arc_for_scc(op(0, 4), op(1, 3), Wt), 0);  // writer outside sessions
  EXPECT_EQ(ins_arc_for_scc(op(0, 2), op(2, 1), Wt), 0);  // different locks
  EXPECT_EQ(ins_arc_for_scc(op(0, 1), op(1, 1), Wt), 1);
  EXPECT_EQ(op(1, 0)->pointed, 3);
}

TEST_F(ScopePropagation, NearestEarlierSessionOfTheScanWithAnotherValuePrecedes) {
  prepare({"acquire 0\nstore 0 1\nrelease 0\n",
           "acquire 0\nload 0 2\nrelease 0\nacquire 0\nload 0 1\nrelease 0\n"
           "acquire 0\nload 0 1\nrelease 0\n",
           "acquire 0\nstore 0 2\nrelease 0\n"});
  state.isBase = 0;
  opnode* ac1 = op(0, 0);
  opnode* reader = op(1, 6);
  // In ac1's scan, the session at 3 only read n's own value: passed over.
  set_scans(0, {1, 1, 1});
  set_scans(1, {1, 1, 1, 1, 1, 1, 1, 1, 1});
  EXPECT_EQ(add_pre_reverse_so(ac1, op(0, 1), reader), 1);
  EXPECT_EQ(named_at(ac1), (std::vector<opnode*>{op(1, 0)}));

  // A later scan is passed over; an earlier one ends the walk.
  set_scans(1, {0, 0, 0, 2, 2, 2, 2, 2, 2});
  EXPECT_EQ(add_pre_reverse_so(ac1, op(0, 1), reader), 0);
  EXPECT_EQ(ac1->pointed, 1);

  state.isBase = 1;
  set_scans(1, {1, 1, 1, 1, 1, 1, 1, 1, 1});
  EXPECT_EQ(add_pre_reverse_so(ac1, op(0, 1), reader), 0);
}

TEST_F(ScopePropagation, ReadingSessionPrecedesTheSessionOverwritingInTheSameScan) {
  prepare({"acquire 0\nstore 0 1\nrelease 0\nacquire 0\nstore 0 2\nrelease 0\n",
           "acquire 0\nload 0 1\nrelease 0\n"});
  pre_lmt_sync();  // baseline: nothing
  EXPECT_EQ(op(0, 3)->pointed, 0);

  state.isBase = 0;
  set_scans(0, {0, 0, 0, 1, 1, 1});
  set_scans(1, {1, 1, 1});
  pre_lmt_sync();
  EXPECT_EQ(named_at(op(0, 3)), (std::vector<opnode*>{op(1, 0)}));
}

TEST_F(ScopePropagation, FirstInSessionReaderOfTheOwnProcessorStandsInForAStore) {
  prepare({"store 0 1\nload 0 1\nacquire 0\nload 0 1\nload 0 1\nrelease 0\n",
           "acquire 0\nload 0 1\nrelease 0\n"});
  EXPECT_EQ(get_first_ld_in_same_p(op(0, 0)), op(0, 3));
}

// The next-acquire lookup, started just after the operation, finds what a scan
// of the whole processor from its first operation finds, for every operation.
TEST_F(ScopeFixture, NextAcquireIsTheFirstAcquireAfterTheOperation) {
  load({"acquire 0\nstore 1 1\nrelease 0\nload 1 1\nacquire 0\nload 2 0\nrelease 0\nstore 3 1\n",
        "store 2 1\nacquire 0\nrelease 0\n", "load 1 0\n"},
       ScC);
  for (auto& operations : state.graph) {
    for (const opnode& prev : operations) {
      opnode* expected = nullptr;
      for (opnode& x : operations) {
        if (expected == nullptr && x.seq_num > prev.seq_num && is_acquire(&x)) expected = &x;
      }
      EXPECT_EQ(findNextOpInScan(&prev), expected) << prev.proc_num << " " << prev.seq_num;
    }
  }
}

}  // namespace
