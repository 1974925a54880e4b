#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

#include "graph/arc_store.h"
#include "rc/propagation.h"
#include "support/trace_fixture.h"

namespace {

using Flags = std::vector<int_t>;

class RcPropagation : public TraceFixture {
 protected:
  int_t arc_count() {
    int_t count = 0;
    for (auto& operations : state.graph) {
      for (const opnode& node : operations) {
        for (const oparc* arc = node.pointTo; arc != nullptr; arc = arc->nxtarc) ++count;
      }
    }
    return count;
  }
};

// Positions: 0 before any session, 2 inside, 4 between two sessions, 7 after
// the last one.
const char* const kSessionsTrace =
    "store 9 1\nacquire 0\nstore 1 1\nrelease 0\nstore 2 1\nacquire 1\nrelease 1\nstore 3 1\n";

TEST_F(RcPropagation, PositionsFollowTheNearestLockOperations) {
  load({kSessionsTrace}, RC);
  Flags below;
  Flags up;
  for (const opnode& x : state.graph[0]) {
    below.push_back(is_below_sync(&x));
    up.push_back(is_up_sync(&x));
  }
  EXPECT_EQ(below, (Flags{0, 0, 0, 0, 1, 1, 0, 1}));
  EXPECT_EQ(up, (Flags{1, 0, 0, 1, 1, 0, 0, 0}));
  EXPECT_EQ(belowFindRelease(op(0, 4)), op(0, 3));
  EXPECT_EQ(belowFindRelease(op(0, 7)), op(0, 6));
  EXPECT_EQ(upFindAcquire(op(0, 4)), op(0, 5));
  EXPECT_EXIT(belowFindRelease(op(0, 2)), ::testing::ExitedWithCode(255),
              "sth wrong when belowfr!");
  EXPECT_EXIT(upFindAcquire(op(0, 6)), ::testing::ExitedWithCode(255), "sth wrong when upfa!");
}

TEST_F(RcPropagation, CompanionArcRunsFromReleaseOnWriterSideToAcquireOnReaderSide) {
  load({kSessionsTrace, kSessionsTrace}, RC);
  using Arc = std::pair<opnode*, opnode*>;
  struct Case {
    opnode* u;
    opnode* v;
    std::optional<Arc> expected;
  };
  const std::vector<Case> cases = {
      {op(0, 2), op(1, 2), Arc{op(0, 3), op(1, 1)}},  // inside -> inside
      {op(0, 2), op(1, 4), Arc{op(0, 3), op(1, 5)}},  // inside -> before a session
      {op(0, 4), op(1, 2), Arc{op(0, 3), op(1, 1)}},  // after a session -> inside
      {op(0, 4), op(1, 0), Arc{op(0, 3), op(1, 1)}},  // after -> before the first
      {op(0, 7), op(1, 4), Arc{op(0, 6), op(1, 5)}},  // after the last -> between
      {op(0, 0), op(1, 2), std::nullopt},             // writer before every session
      {op(0, 2), op(1, 7), std::nullopt},             // reader after every session
      {op(0, 2), op(0, 4), std::nullopt},             // one processor
  };
  for (const Case& c : cases) {
    ins_arc_for_rc(c.u, c.v, Wt);
    if (c.expected) {
      EXPECT_EQ(del_arc(c.expected->first, c.expected->second, Wt), 0)
          << "from " << c.u->proc_num << "," << c.u->seq_num;
    }
    EXPECT_EQ(arc_count(), 0) << "from " << c.u->proc_num << "," << c.u->seq_num;
  }
}

TEST_F(RcPropagation, ReleaseLinksOnlyToTheNextAcquireOfItsLock) {
  load({"release 1\nacquire 2\nrelease 2\nacquire 1\n", "acquire 1\nrelease 1\n"}, RC);
  add_lo_for_sync();
  EXPECT_EQ(has_arc(op(0, 0), op(0, 3), LO), 1);
  EXPECT_EQ(arc_count(), 1);
}

}  // namespace
