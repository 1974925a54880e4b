#include "batch/sets.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace qirn_batch {
namespace {

namespace fs = std::filesystem;

bool holds_trace(const fs::path& dir, int proc) {
  std::error_code ignored;
  return fs::exists(dir / ("tfres." + std::to_string(proc)), ignored);
}

// The folders right below dir, not through symbolic links, in byte order.
std::vector<fs::path> subfolders(const fs::path& dir, std::error_code& error) {
  std::vector<fs::path> children;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) children.push_back(it->path());
  }
  std::sort(children.begin(), children.end());
  return children;
}

struct Search {
  int processors;
  FoundSets found;
  std::set<fs::path> seen;
  size_t hits = 0;  // sets met, the ones already listed included

  // Adds dir when it is a set, or as unreadable when it cannot be searched,
  // then the folders below it.
  void visit(const fs::path& dir) {
    std::error_code error;
    const bool isSet = fs::exists(dir / "tfres.0", error);
    const std::vector<fs::path> children = error ? std::vector<fs::path>() : subfolders(dir, error);
    if (error) return add(dir, 0, "cannot read the folder: " + error.message());
    if (isSet) add(dir, processors > 0 ? processors : count_trace_files(dir.string()), {});
    for (const fs::path& child : children) visit(child);
  }

  void add(const fs::path& dir, int count, const std::string& unreadable) {
    std::error_code error;
    ++hits;
    if (seen.insert(fs::weakly_canonical(dir, error)).second) {
      found.sets.push_back({dir.string(), count, unreadable});
    }
  }
};

std::string path_problem(const std::string& path) {
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error && status.type() != fs::file_type::not_found) return error.message();
  if (!fs::exists(status)) return "no such folder";
  return fs::is_directory(status) ? "" : "not a folder";
}

}  // namespace

int count_trace_files(const std::string& dir) {
  int count = 0;
  while (holds_trace(dir, count)) ++count;
  return count;
}

FoundSets find_sets(const std::vector<std::string>& paths, int processors) {
  Search search{processors, {}, {}};
  for (const std::string& path : paths) {
    const std::string problem = path_problem(path);
    if (!problem.empty()) {
      search.found.error = path + ": " + problem;
      break;
    }
    const size_t before = search.hits;
    search.visit(path);
    if (search.hits == before) {
      search.found.error = path + ": no trace set (no tfres.0) in or below it";
      break;
    }
  }
  return search.found;
}

std::vector<TraceSet> shard_of(const std::vector<TraceSet>& sets, int index, int count) {
  const auto bound = [&](int k) {
    return sets.begin() + static_cast<std::ptrdiff_t>(sets.size() * static_cast<std::size_t>(k) /
                                                      static_cast<std::size_t>(count));
  };
  return {bound(index - 1), bound(index)};
}

}  // namespace qirn_batch
