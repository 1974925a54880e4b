#include "bounds/active_windows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/trace_fixture.h"
#include "trace/read_from.h"

namespace {

using Window = std::vector<int_t>;

class ActiveWindows : public TraceFixture {
 protected:
  // Baseline load (every window -3) plus the read-from mapping; each test
  // sets the windows and session fields it needs.
  void build(const std::vector<std::string>& traces) {
    load(traces, ScC);
    construct_mapping();
  }
  void set_upw(int_t p, int_t s, const Window& upw) {
    for (std::size_t t = 0; t < upw.size(); ++t) op(p, s)->upw[t] = upw[t];
  }
  Window upw(int_t p, int_t s) { return Window(op(p, s)->upw, op(p, s)->upw + state.NPROCESSOR); }
};

// Processor 0: a session holding the store (0, 1) and ending with the release
// at 7, then one more store; processor 1 loads the stored value.
const std::vector<std::string> kSessionTrace = {
    "acquire 0\nstore 0 1\nstore 1 1\nstore 1 2\nstore 1 3\nstore 1 4\nstore 1 5\n"
    "release 0\nstore 1 6\n",
    "load 0 1\n"};

TEST_F(ActiveWindows, ReleaseWinsATieWithTheEarliestReader) {
  build(kSessionTrace);
  opnode* store = op(0, 1);
  opnode* load = op(1, 0);
  opnode* release = op(0, 7);
  load->upw[0] = 7;
  release->upw[0] = 9;
  EXPECT_EQ(get_relaxed_operation(store), load);
  release->upw[0] = 7;
  EXPECT_EQ(get_relaxed_operation(store), release);

  load->scanIndex = 3;
  release->scanIndex = 3;
  EXPECT_EQ(get_relaxed_sn_operation(store), release);
  release->scanIndex = 4;
  EXPECT_EQ(get_relaxed_sn_operation(store), load);
}

TEST_F(ActiveWindows, OwnLoadsOutsideSessionsDoNotEndAStore) {
  build({"store 0 1\nload 0 1\n", "load 0 1\n", "load 0 1\n"});
  opnode* store = op(0, 0);
  op(0, 1)->upw[0] = 0;
  op(1, 0)->upw[0] = 2;
  op(2, 0)->upw[0] = 2;
  // Of two equal readers the one listed first stays.
  const ldnode* cell = store->map_ld.fstld;
  while (ld_mapping(cell)->proc_num == 0) cell = cell->nxtld;
  EXPECT_EQ(get_relaxed_operation(store), ld_mapping(cell));
  op(0, 1)->inSync = 1;
  EXPECT_EQ(get_relaxed_operation(store), op(0, 1));
}

TEST_F(ActiveWindows, StoresTakeTheUpperEndsOfWhatEndsThem) {
  build({"acquire 0\nstore 0 1\nstore 0 2\nrelease 0\n", "load 0 1\nstore 1 5\nload 0 0\n"});
  op(0, 1)->inSync = 1;
  op(0, 2)->inSync = 1;
  op(0, 1)->nxt = op(0, 2);
  set_upw(1, 0, {1, 3});
  set_upw(0, 3, {2, 1});
  calculateActivePendingWindow();
  EXPECT_EQ(upw(0, 2), Window({2, 1}));  // its release alone
  EXPECT_EQ(upw(0, 1), Window({1, 1}));  // reader {1, 3} against next store {2, 1}
  EXPECT_EQ(upw(1, 1), Window({4, 3}));  // nothing ends it
  EXPECT_EQ(upw(1, 0), Window({1, 3}));  // loads keep their windows
}

TEST_F(ActiveWindows, SessionStoresGetNonDecreasingScanNumbers) {
  build({"acquire 0\nstore 0 1\nstore 1 1\nstore 2 1\nrelease 0\nstore 3 1\nstore 3 2\n",
         "load 0 1\nload 1 1\nload 2 1\n"});
  for (int_t s = 1; s <= 3; ++s) op(0, s)->inSync = 1;
  op(1, 0)->scanIndex = 5;
  op(1, 1)->scanIndex = 3;
  op(1, 2)->scanIndex = 6;
  op(0, 4)->scanIndex = 9;
  op(0, 5)->scanIndex = 8;
  op(0, 6)->scanIndex = 1;
  updateSn();
  std::vector<int_t> numbers;
  for (const opnode& u : state.graph[0]) numbers.push_back(u.scanIndex);
  EXPECT_EQ(numbers, std::vector<int_t>({0, 3, 3, 6, 9, 8, 1}));
}

TEST_F(ActiveWindows, LastScanIsTheLatestFinalAcquire) {
  build({"acquire 0\nrelease 0\nacquire 0\nrelease 0\n", "acquire 0\nrelease 0\n", "store 0 1\n"});
  op(0, 0)->scanIndex = 7;
  op(0, 2)->scanIndex = 2;
  op(1, 0)->scanIndex = 4;
  EXPECT_EQ(calculateSn(), 4);
  state.lockNum = 2;
  EXPECT_EXIT(calculateSn(), ::testing::ExitedWithCode(255), "^more than one lock!\n$");
}

}  // namespace
