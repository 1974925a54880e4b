// The ScC frontier search: a placement and its undo leave the arc lists as
// they were.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "derive/program_order.h"
#include "derive/write_to.h"
#include "graph/arc_store.h"
#include "rc/propagation.h"
#include "scc/frontier.h"
#include "scc/propagation.h"
#include "scc/search_state.h"
#include "support/trace_fixture.h"
#include "trace/read_from.h"
#include "trace/sessions.h"

namespace {

class FrontierSearchTest : public TraceFixture {
 protected:
  // The stages a baseline scope-consistency run calls before the search,
  // without the lines the driver prints between them.
  void prepare(const std::vector<std::string>& traces) {
    load(traces, ScC);
    construct_mapping();
    init_inSync();
    init_first_write_sync_read();
    update_pre_nxt_node();
    init_sa_sr();
    add_lo_arc(ScC);
    add_wt_arc(scc_write_to_carry);
    add_lo_for_sync();
  }

  struct Placed {
    int_t loc;
    opnode* tail;
  };

  void start() {
    size_ = state->NPROCESSOR * location_count();
    init_search_state(size_);
  }
  int_t* f() { return frontier_search().frontier.data(); }

  // Places n behind the tail of its location as a search level does.
  int_t place(opnode* n) {
    const int_t loc = locationInFrontier(n);
    opnode*& tail = state->lastop[loc % location_count()];
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
    state->lastop[last.loc % location_count()] = last.tail;
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

}  // namespace
