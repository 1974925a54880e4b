// qirn-batch --shard K/N: the parts of a batch, taken K = 1 to N, are the
// whole batch in its order, and no part is more than one set larger than
// another.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "batch/options.h"
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

TEST(BatchShard, TakesKOfNWithKFromOneToN) {
  const auto parsed = [](std::string value) {
    std::vector<std::string> words = {"qirn-batch", "--shard", std::move(value), "runs"};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return qirn_batch::parse_options(static_cast<int>(argv.size()), argv.data());
  };
  const qirn_batch::ParsedOptions two = parsed("2/5");
  EXPECT_EQ(two.line.action, qirn_tools::Action::Run);
  EXPECT_EQ(two.options.shardIndex, 2);
  EXPECT_EQ(two.options.shardCount, 5);
  for (const char* wrong : {"0/5", "6/5", "1/0", "5", "/5", "1/", "1/2/3", "a/b", "-1/2", " 1/2"})
    EXPECT_EQ(parsed(wrong).line.action, qirn_tools::Action::Fail) << wrong;
}

}  // namespace
