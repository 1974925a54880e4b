#include "trace/sessions.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/trace_fixture.h"

namespace {

using Row = std::vector<int_t>;
using Table = std::vector<Row>;

class Sessions : public TraceFixture {
 protected:
  // The session stages in the order a scope-consistency run calls them.
  void build(const std::vector<std::string>& traces) {
    load(traces, ScC);
    init_inSync();
    init_first_write_sync_read();
    update_pre_nxt_node();
    init_sa_sr();
  }

  Row in_sync_marks(int_t p) {
    Row marks;
    for (const opnode& x : state.graph[p]) marks.push_back(x.inSync);
    return marks;
  }
};

TEST_F(Sessions, WithLocksOnlyInSessionAccessesCountAsFirst) {
  build({"acquire 0\nstore 1 5\nload 2 0\nrelease 0\nstore 1 6\n",
         "store 1 7\nload 2 0\nacquire 2\nrelease 2\nload 0 0\nacquire 2\nload 0 0\nrelease 2\n",
         "store 2 8\nload 1 0\n"});
  EXPECT_EQ(in_sync_marks(0), (Row{0, 1, 1, 0, 0}));
  EXPECT_EQ(state.firstWrite, (Table{{-1, 1, -1}, {-1, -1, -1}, {-1, -1, -1}}));
  EXPECT_EQ(state.firstRead, (Table{{-1, -1, 2}, {6, -1, -1}, {-1, -1, -1}}));
  EXPECT_EQ(state.firstSync, (Table{{0, -1, -1}, {-1, -1, 2}, {-1, -1, -1}}));
}

TEST_F(Sessions, WithoutLocksFirstAccessesCountEveryOperation) {
  build({"store 1 5\nload 2 0\nstore 1 6\n", "load 0 0\n"});
  EXPECT_EQ(in_sync_marks(0), (Row{0, 0, 0}));
  EXPECT_EQ(state.firstWrite, (Table{{-1, 0, -1}, {-1, -1, -1}}));
  EXPECT_EQ(state.firstRead, (Table{{-1, -1, 1}, {0, -1, -1}}));
  EXPECT_TRUE(state.firstSync.empty());
}

TEST_F(Sessions, ChainsLinkOneKindOneAddressOrOneLockWithinAProcessor) {
  build(
      {"acquire 0\nload 3 0\nstore 3 1\nstore 4 1\nload 3 0\nstore 3 2\nrelease 0\n"
       "store 3 3\nacquire 0\nstore 3 4\nrelease 0\nacquire 1\nrelease 1\nacquire 0\nrelease 0\n",
       "acquire 0\nstore 3 5\nrelease 0\n"});
  const auto links = [this](int_t s) { return std::make_pair(op(0, s)->pre, op(0, s)->nxt); };
  using Links = std::pair<opnode*, opnode*>;
  EXPECT_EQ(links(5), (Links{op(0, 2), op(0, 9)}));
  EXPECT_EQ(links(9), (Links{op(0, 5), nullptr}));
  EXPECT_EQ(links(4), (Links{op(0, 1), nullptr}));
  EXPECT_EQ(links(8), (Links{op(0, 0), op(0, 13)}));
  for (int_t alone : {3, 6, 7, 11}) EXPECT_EQ(links(alone), (Links{nullptr, nullptr})) << alone;
  EXPECT_EQ(op(1, 1)->pre, nullptr);
  for (opnode& x : state.graph[0]) {
    if (x.inSync == 1 || is_acquire(&x)) {
      EXPECT_EQ(find_previous_node(&x), x.pre) << x.seq_num;
    }
  }
}

// A processor that ends inside a session leaves nothing open for the next one.
TEST_F(Sessions, OpenSessionEndsWithItsProcessor) {
  build({"acquire 0\nstore 1 1\n", "store 1 2\nrelease 0\nacquire 0\nstore 1 3\nrelease 0\n"});
  EXPECT_EQ(in_sync_marks(1), (Row{0, 0, 0, 1, 0}));
  EXPECT_EQ(state.firstWrite[1][1], 3);
  EXPECT_EQ(op(1, 3)->pre, nullptr);
  EXPECT_EQ(op(1, 1)->mapAcquire, nullptr);
  EXPECT_EQ(op(0, 0)->mapRelease, nullptr);
  EXPECT_EQ(op(1, 4)->mapAcquire, op(1, 2));
  EXPECT_EQ(op(1, 2)->mapRelease, op(1, 4));
}

TEST_F(Sessions, CountSyncCountsAcquiresOfOneLock) {
  build({"acquire 1\nrelease 1\n", "acquire 1\nrelease 1\n"});
  EXPECT_EQ(count_sync(0), 0);
  EXPECT_EQ(count_sync(1), 2);
}

TEST_F(Sessions, QueriesLookToTheNearestLockOperation) {
  build(
      {"store 0 1\nacquire 0\nstore 0 2\nrelease 0\nstore 0 3\nacquire 1\nrelease 1\nload 0 0\n"});
  for (const opnode& x : state.graph[0]) {
    if (x.optype != SYNC) {
      EXPECT_EQ(is_in_sync(&x), x.inSync) << x.seq_num;
    }
  }
  EXPECT_EQ(is_in_sync(op(0, 3)), 1);
  EXPECT_EQ(is_in_sync(op(0, 5)), 0);
  EXPECT_EQ(acquireOfCurSync(op(0, 3)), op(0, 1));
  EXPECT_EQ(acquireOfCurSync(op(0, 4)), op(0, 1));
  EXPECT_EQ(acquireOfCurSync(op(0, 7)), op(0, 5));
  EXPECT_EQ(findReleaseForScC(op(0, 0), 1), op(0, 6));
  EXPECT_EXIT(acquireOfCurSync(op(0, 1)), ::testing::ExitedWithCode(255),
              "^err in in which sync!\n$");
  EXPECT_EXIT(findReleaseForScC(op(0, 4), 0), ::testing::ExitedWithCode(255),
              "^the ScC program for testing has errors!\n$");
}

}  // namespace
