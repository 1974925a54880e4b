// Finding the trace sets of a batch: every folder that holds tfres.0.
#pragma once

#include <string>
#include <vector>

namespace qirn_batch {

struct TraceSet {
  std::string path;             // the folder, as reached from the PATH given
  int processors;               // the processor count qirn is given
  std::string unreadable = {};  // why the folder could not be read; empty when it could
};

// The number of files tfres.0, tfres.1, ... in dir that follow each other
// without a gap (0 when there is no tfres.0).
int count_trace_files(const std::string& dir);

struct FoundSets {
  std::vector<TraceSet> sets;
  std::string error;  // the first PATH that could not be searched, and why
};

// Each PATH in the order given, a folder before the folders below it and
// sibling folders in byte order of their names. Symbolic links below a PATH
// are not followed. A folder reached twice is listed once. A folder that
// cannot be read is listed as a set with processor count 0 and the reason in
// unreadable, and nothing below it is searched. A PATH that does not exist,
// is not a folder or holds no trace set is an error. processors is given to
// every set when it is above 0.
FoundSets find_sets(const std::vector<std::string>& paths, int processors);

// Part `index` (from 1) of `count` of the sets: the sets from
// (index - 1) * size / count up to index * size / count, rounded down, so
// that the parts follow each other in order and differ in size by one at most.
std::vector<TraceSet> shard_of(const std::vector<TraceSet>& sets, int index, int count);

}  // namespace qirn_batch
