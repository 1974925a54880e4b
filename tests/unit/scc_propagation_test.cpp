#include <gtest/gtest.h>

#include "scc/propagation.h"
#include "scc_fixture.h"

namespace {

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

TEST_F(ScopePropagation, PrecedenceAgainstTheScansOfTheReleasesStopsTheRun) {
  prepare({"acquire 0\nstore 0 1\nrelease 0\n",
           "acquire 0\nload 0 2\nrelease 0\nacquire 0\nload 0 1\nrelease 0\n",
           "acquire 0\nstore 0 2\nrelease 0\n"});
  state.isBase = 0;
  set_scans(0, {1, 1, 0});
  set_scans(1, {1, 1, 1, 1, 1, 1});
  EXPECT_EXIT(add_pre_reverse_so(op(0, 0), op(0, 1), op(1, 3)), ::testing::ExitedWithCode(255),
              "^err2 in add pre reverse so!\n$");
  EXPECT_EXIT(add_pre_reverse_so(op(0, 1), op(0, 1), op(1, 3)), ::testing::ExitedWithCode(255),
              "err in add pre reverse so!");
  EXPECT_EXIT(has_addr_op(op(0, 0), op(0, 2)), ::testing::ExitedWithCode(255),
              "err in has addr op!");
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

}  // namespace
