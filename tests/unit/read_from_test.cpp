#include "trace/read_from.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/trace_fixture.h"

namespace {

class ReadFrom : public TraceFixture {};

std::vector<const opnode*> readers_of(const opnode* store) {
  std::vector<const opnode*> loads;
  for (const ldnode* cell = store->map_ld.fstld; cell != nullptr; cell = cell->nxtld) {
    loads.push_back(ld_mapping(cell));
  }
  return loads;
}

TEST_F(ReadFrom, FirstReaderHeadsListLaterOnesNewestFirst) {
  load({"load 2 5\nstore 2 5\nload 2 5\nstore 2 6\n", "load 2 5\nload 2 5\nload 1 0\n"});
  construct_mapping();
  opnode* store = op(0, 1);
  EXPECT_EQ(store->map_ld.n_ld, 4);
  EXPECT_EQ(readers_of(store),
            (std::vector<const opnode*>{op(0, 0), op(1, 1), op(1, 0), op(0, 2)}));
  for (const opnode* reader : readers_of(store)) EXPECT_EQ(st_mapping(reader), store);
  EXPECT_EQ(op(0, 3)->map_ld.n_ld, 0);
  EXPECT_EQ(op(0, 3)->map_ld.fstld, nullptr);
}

TEST_F(ReadFrom, LoadMapsToLastMatchingStoreInScanOrder) {
  load({"load 4 9\nstore 1 9\nstore 4 8\nstore 4 9\n", "store 4 9\n"});
  construct_mapping();
  EXPECT_EQ(readers_of(op(0, 3)), (std::vector<const opnode*>{op(0, 0)}));
  EXPECT_EQ(readers_of(op(1, 0)), (std::vector<const opnode*>{op(0, 0)}));
  EXPECT_EQ(op(0, 1)->map_ld.n_ld, 0);
  EXPECT_EQ(op(0, 2)->map_ld.n_ld, 0);
  EXPECT_EQ(op(0, 0)->map_st[0], 1);
  EXPECT_EQ(op(0, 0)->map_st[1], 0);
  EXPECT_EQ(st_mapping(op(0, 0)), op(1, 0));
}

TEST_F(ReadFrom, NegativeValuesMatchOnlyTheirAddress) {
  load({"store 1 -1\nstore 0 -2\n", "load 1 -1\nload 0 -2\n"});
  construct_mapping();
  EXPECT_EQ(st_mapping(op(1, 0)), op(0, 0));
  EXPECT_EQ(st_mapping(op(1, 1)), op(0, 1));
  EXPECT_EQ(op(0, 0)->map_ld.n_ld, 1);
}

TEST_F(ReadFrom, LoadOfZeroReadsInitialMemory) {
  load({"store 3 0\nload 3 0\n", "load 5 0\n"});
  construct_mapping();
  EXPECT_EQ(readers_of(op(0, 0)), (std::vector<const opnode*>{op(0, 1)}));
  EXPECT_EQ(op(0, 1)->map_st[0], 0);
  EXPECT_EQ(op(0, 1)->map_st[1], 0);
  EXPECT_EQ(st_mapping(op(0, 1)), &state.sentinel);
  EXPECT_EQ(st_mapping(op(1, 0)), &state.sentinel);
}

TEST_F(ReadFrom, UnmatchedLoadStopsAtFirstInScanOrder) {
  load({"store 2 7\nload 2 7\nload 9 0\n", "load 1 7\nload 1 8\n"});
  EXPECT_EXIT(construct_mapping(), ::testing::ExitedWithCode(255),
              "^panic: load read illegal value:proc 1, seq 0, val 7\n$");
}

TEST_F(ReadFrom, LookupOfNonLoadFailsAssertion) {
  load({"store 2 7\nload 2 7\n"});
  construct_mapping();
  EXPECT_EXIT(st_mapping(op(0, 0)), ::testing::ExitedWithCode(255),
              "^QIRN_ISVALID FAILURE IN operation\\.cpp , LINE 8 ! \n\n$");
}

}  // namespace
