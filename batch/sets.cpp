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

struct Search {
  int processors;
  FoundSets found;
  std::set<fs::path> seen;
  size_t hits = 0;  // sets met, the ones already listed included

  // Adds dir when it is a set, then the folders below it; false on an
  // unreadable folder, whose error is recorded.
  bool visit(const fs::path& dir) {
    std::error_code error;
    const bool isSet = holds_trace(dir, 0);
    hits += isSet;
    if (isSet && seen.insert(fs::weakly_canonical(dir, error)).second) {
      const int count = processors > 0 ? processors : count_trace_files(dir.string());
      found.sets.push_back({dir.string(), count});
    }
    std::vector<fs::path> children;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
      if (it->is_directory(error) && !it->is_symlink(error)) children.push_back(it->path());
    }
    if (error) {
      found.error = dir.string() + ": " + error.message();
      return false;
    }
    std::sort(children.begin(), children.end());
    return std::all_of(children.begin(), children.end(),
                       [this](const fs::path& child) { return visit(child); });
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
    if (!search.visit(path)) break;
    if (search.hits == before) {
      search.found.error = path + ": no trace set (no tfres.0) in or below it";
      break;
    }
  }
  return search.found;
}

}  // namespace qirn_batch
