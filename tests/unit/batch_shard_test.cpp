// The parts of a batch (qirn-batch --shard K/N), taken K = 1 to N, are the
// whole batch in its order, and no part is more than one set larger than
// another.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "batch/sets.h"

namespace {

using qirn_batch::TraceSet;

TEST(BatchShard, PartsPutTogetherAreTheWholeBatchInOrder) {
  for (int size = 0; size <= 40; ++size) {
    std::vector<TraceSet> sets;
    for (int i = 0; i < size; ++i) sets.push_back({"set" + std::to_string(i), 1});
    for (int count = 1; count <= 12; ++count) {
      std::vector<std::string> joined;
      std::size_t smallest = sets.size();
      std::size_t largest = 0;
      for (int index = 1; index <= count; ++index) {
        const std::vector<TraceSet> part = qirn_batch::shard_of(sets, index, count);
        smallest = std::min(smallest, part.size());
        largest = std::max(largest, part.size());
        for (const TraceSet& set : part) joined.push_back(set.path);
      }
      std::vector<std::string> whole;
      for (const TraceSet& set : sets) whole.push_back(set.path);
      EXPECT_EQ(joined, whole) << size << " sets in " << count << " parts";
      EXPECT_LE(largest - smallest, 1U) << size << " sets in " << count << " parts";
    }
  }
}

}  // namespace
