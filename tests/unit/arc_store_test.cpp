#include "graph/arc_store.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_map>
#include <utility>
#include <vector>

#include "graph/arc_index.h"
#include "support/trace_fixture.h"

namespace {

using List = std::vector<std::pair<const opnode*, ORDER_t>>;

// At most 16 cells, so that a list linked into a ring fails instead of hanging.
List arcs_of(const opnode* u) {
  List list;
  for (const oparc* a = u->pointTo; a != nullptr && list.size() < 16; a = a->nxtarc) {
    EXPECT_EQ(a->bptr, u);
    list.emplace_back(a->nptr, a->order);
  }
  return list;
}

class ArcStore : public TraceFixture {
 protected:
  void SetUp() override {
    TraceFixture::SetUp();
    load({"store 0 1\nstore 0 2\nstore 0 3\nstore 0 4\nstore 0 5\nstore 0 6\n"});
    u = op(0, 0), a = op(0, 1), b = op(0, 2), c = op(0, 3), d = op(0, 4), w = op(0, 5);
  }
  opnode *u = nullptr, *a = nullptr, *b = nullptr, *c = nullptr, *d = nullptr, *w = nullptr;
};

TEST_F(ArcStore, NewestFirstThenSessionArcsOldestFirst) {
  EXPECT_EQ(ins_arc(u, a, Wt), 0);
  EXPECT_EQ(ins_arc(u, b, Syn), 0);
  EXPECT_EQ(ins_arc(u, c, LO), 0);
  EXPECT_EQ(arcs_of(u), (List{{c, LO}, {a, Wt}, {b, Syn}}));
  EXPECT_EQ(del_arc(u, a, Wt), 0);
  EXPECT_EQ(arcs_of(u), (List{{c, LO}, {b, Syn}}));
  EXPECT_EQ(ins_arc(u, d, RO), 0);
  EXPECT_EQ(ins_arc(u, a, Wt), 0);
  EXPECT_EQ(arcs_of(u), (List{{a, Wt}, {c, LO}, {b, Syn}, {d, RO}}));
}

// Random insertions, lookups and deletions over a small key space (long
// probe runs, wrap-around, shifts on deletion) agree with a standard map.
TEST(ArcIndex, AgreesWithAStandardMapUnderInsertsAndDeletes) {
  std::mt19937_64 random(9);
  ArcIndex index;
  std::unordered_map<std::uint64_t, oparc*> expected;
  std::vector<oparc> cells(64);
  for (int step = 0; step < 200000; ++step) {
    const std::uint64_t key = (random() % 3000) << (random() % 2 == 0 ? 0 : 35);
    oparc* cell = &cells[random() % cells.size()];
    switch (random() % 3) {
      case 0: {
        const auto [slot, added] = index.try_emplace(key);
        ASSERT_EQ(added, expected.count(key) == 0) << step;
        if (added) *slot = expected[key] = cell;
        break;
      }
      case 1: {
        const auto found = expected.find(key);
        ASSERT_EQ(index.erase(key), found == expected.end() ? nullptr : found->second) << step;
        if (found != expected.end()) expected.erase(found);
        break;
      }
      default: {
        const auto found = expected.find(key);
        ASSERT_EQ(index.find(key), found == expected.end() ? nullptr : found->second) << step;
      }
    }
    ASSERT_EQ(index.size(), expected.size());
  }
}

}  // namespace
