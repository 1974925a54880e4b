#include "support/lock_trace_sets.h"

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <utility>

namespace lock_reference {
namespace {

Program parse(const std::string& text) {
  static const std::map<std::string, Kind> kinds = {
      {"load", Kind::Load},       {"store", Kind::Store}, {"acquire", Kind::Acquire},
      {"release", Kind::Release}, {"fence", Kind::Fence}, {"rmw", Kind::Rmw}};
  Program program;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("#")) continue;
    std::istringstream words(line);
    std::string word;
    Op op{Kind::Load, 0};
    words >> word >> op.target;
    op.kind = kinds.at(word);
    if (op.kind == Kind::Rmw) words >> op.read;
    words >> op.value;
    program.push_back(op);
  }
  return program;
}

BoundFile parse_bounds(const std::string& text) {
  BoundFile file;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    char colon = 0;
    char comma = 0;
    int scan = 0, lb = 0, ub = 0;
    if (line.starts_with("#") || !(fields >> scan >> colon >> lb >> comma >> ub)) continue;
    if (file.rows.empty()) file.firstScan = scan;
    file.rows.emplace_back(lb, ub);
  }
  return file;
}

std::string trace_text(const Program& program) {
  static const char* const words[] = {"load", "store", "acquire", "release", "fence", "rmw"};
  std::string text;
  for (const Op& op : program) {
    if (op.kind == Kind::Fence) {
      text += "fence\n";
      continue;
    }
    text += std::string(words[static_cast<int>(op.kind)]) + " " + std::to_string(op.target);
    if (op.kind == Kind::Rmw) text.append(" ").append(std::to_string(op.read));
    const bool access = op.kind == Kind::Load || op.kind == Kind::Store || op.kind == Kind::Rmw;
    if (access) text.append(" ").append(std::to_string(op.value));
    text += '\n';
  }
  return text;
}

std::string bound_text(const BoundFile& file) {
  std::string text;
  for (std::size_t i = 0; i < file.rows.size(); ++i) {
    text += std::to_string(file.firstScan + static_cast<int>(i)) + ":" +
            std::to_string(file.rows[i].first) + "," + std::to_string(file.rows[i].second) + "\n";
  }
  return text;
}

}  // namespace

TraceSet parse_set(const std::vector<std::string>& traces, const std::vector<std::string>& bounds) {
  TraceSet set;
  for (const std::string& text : traces) set.programs.push_back(parse(text));
  for (const std::string& text : bounds) set.bounds.push_back(parse_bounds(text));
  return set;
}

std::vector<std::string> trace_texts(const TraceSet& set) {
  std::vector<std::string> texts;
  for (const Program& program : set.programs) texts.push_back(trace_text(program));
  return texts;
}

std::vector<std::string> bound_texts(const TraceSet& set) {
  std::vector<std::string> texts;
  for (const BoundFile& file : set.bounds) texts.push_back(bound_text(file));
  return texts;
}

std::string files_text(const TraceSet& set, bool optimized) {
  std::string text;
  for (std::size_t p = 0; p < set.programs.size(); ++p) {
    text += "--- tfres." + std::to_string(p) + "\n" + trace_text(set.programs[p]);
  }
  for (std::size_t p = 0; optimized && p < set.bounds.size(); ++p) {
    text += "--- boundgt." + std::to_string(p) + "\n" + bound_text(set.bounds[p]);
  }
  return text;
}

namespace {

class Draw {
 public:
  explicit Draw(std::uint32_t seed) : random_(seed) {}
  int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random_); }
  bool percent(int chance) { return (*this)(0, 99) < chance; }

 private:
  std::mt19937 random_;
};

struct Shape {
  Model model;
  int addresses;
  int locks;
  bool fences;
};

// Program of `length` operations with well-formed sessions: under RC never
// nested, under ScC sessions of different locks may nest or overlap. Loads
// get their values later; stores take the next value.
Program random_program(const Shape& shape, int length, Draw& draw, int& value) {
  const std::size_t most_open = shape.model == Model::RC ? 1 : std::size_t(shape.locks);
  Program program;
  std::vector<int> open;  // locks held
  while (static_cast<int>(program.size()) < length) {
    const std::size_t left = std::size_t(length) - program.size();
    std::vector<int> free;
    for (int lock = 0; lock < shape.locks; ++lock) {
      if (std::find(open.begin(), open.end(), lock) == open.end()) free.push_back(lock);
    }
    if (!open.empty() && (left == open.size() || draw(0, 3) == 0)) {
      const auto held = open.begin() + draw(0, int(open.size()) - 1);
      program.push_back({Kind::Release, *held});
      open.erase(held);
    } else if (!free.empty() && open.size() < most_open && left >= open.size() + 2 &&
               draw(0, open.empty() ? 2 : 1) == 0) {
      open.push_back(free[std::size_t(draw(0, int(free.size()) - 1))]);
      program.push_back({Kind::Acquire, open.back()});
    } else if (shape.fences && draw(0, 3) == 0) {
      program.push_back({Kind::Fence, 0});
    } else if (draw(0, 1) == 0) {
      program.push_back({Kind::Store, draw(0, shape.addresses - 1), ++value});
    } else {
      program.push_back({Kind::Load, draw(0, shape.addresses - 1)});
    }
  }
  return program;
}

// By address, the values its stores write.
std::map<int, std::vector<int>> stored_values(const TraceSet& set) {
  std::map<int, std::vector<int>> written;
  for (const Program& program : set.programs) {
    for (const Op& op : program) {
      if (op.kind == Kind::Store) written[op.target].push_back(op.value);
    }
  }
  return written;
}

// Each load returns the value of a random store to its address, on any
// processor and anywhere in it, or the initial 0.
void choose_values(TraceSet& set, Draw& draw) {
  std::map<int, std::vector<int>> written = stored_values(set);
  for (Program& program : set.programs) {
    for (Op& op : program) {
      if (op.kind != Kind::Load) continue;
      const std::vector<int>& values = written[op.target];
      const int pick = draw(0, int(values.size()));
      op.value = pick < int(values.size()) ? values[std::size_t(pick)] : 0;
    }
  }
}

// Makes some stores RMWs that read a random other store of their address, or
// the initial 0.
void make_rmws(TraceSet& set, Draw& draw) {
  std::map<int, std::vector<int>> written = stored_values(set);
  for (Program& program : set.programs) {
    for (Op& op : program) {
      if (op.kind != Kind::Store || !draw.percent(40)) continue;
      std::vector<int> others{0};
      for (int value : written[op.target]) {
        if (value != op.value) others.push_back(value);
      }
      op.kind = Kind::Rmw;
      op.read = others[std::size_t(draw(0, int(others.size()) - 1))];
    }
  }
}

// Inserts a release of a lock no session holds at that point.
void add_orphan_release(TraceSet& set, int locks, Draw& draw) {
  Program& program = set.programs[std::size_t(draw(0, int(set.programs.size()) - 1))];
  std::vector<std::size_t> outside;  // positions where the processor holds no lock
  int depth = 0;
  for (std::size_t s = 0; s <= program.size(); ++s) {
    if (depth == 0) outside.push_back(s);
    if (s < program.size() && program[s].kind == Kind::Acquire) ++depth;
    if (s < program.size() && program[s].kind == Kind::Release) --depth;
  }
  const Op release{Kind::Release, draw(0, std::max(locks, 1) - 1)};
  program.insert(program.begin() + long(outside[std::size_t(draw(0, int(outside.size()) - 1))]),
                 release);
}

// Issue and completion times of each operation of one processor, both in
// program order, completion never before issue; times are even.
struct Timeline {
  std::vector<int> issued;
  std::vector<int> completed;
};

Timeline random_timeline(std::size_t length, Draw& draw) {
  Timeline line;
  int issue = 2 * draw(0, 3);
  int complete = 0;
  for (std::size_t s = 0; s < length; ++s) {
    complete = std::max(complete, issue) + 2 * draw(0, 3);
    line.issued.push_back(issue);
    line.completed.push_back(complete);
    issue += 2 * draw(0, 2);
  }
  return line;
}

int count_below(const std::vector<int>& times, int t) {
  return int(std::count_if(times.begin(), times.end(), [t](int time) { return time < t; }));
}

// One processor's rows of the scans at `times`, the first numbered `first`.
// A staggered file leaves out some of its first scans that found nothing
// issued yet, and some of its last scans.
BoundFile bound_file(const Timeline& line, const std::vector<int>& times, int first, bool stagger,
                     Draw& draw) {
  std::vector<std::pair<int, int>> rows;
  for (int t : times)
    rows.emplace_back(count_below(line.completed, t), count_below(line.issued, t));
  int idle = 0;
  while (idle + 1 < int(rows.size()) && rows[std::size_t(idle)].second == 0) ++idle;
  const int begin = stagger ? draw(0, idle) : 0;
  const int end = stagger ? draw(begin + 1, int(rows.size())) : int(rows.size());
  return {first + begin, {rows.begin() + begin, rows.begin() + end}};
}

// 1 to 3 scans of one random run, at odd times.
std::vector<BoundFile> timed_bounds(const TraceSet& set, Draw& draw) {
  std::vector<Timeline> lines;
  int end = 0;
  for (const Program& program : set.programs) {
    lines.push_back(random_timeline(program.size(), draw));
    end = std::max(end, lines.back().completed.back());
  }
  std::vector<int> times(std::size_t(draw(1, 3)));
  for (int& t : times) t = 2 * draw(0, end / 2) + 1;
  std::sort(times.begin(), times.end());
  const int first = draw(1, 3);
  const bool stagger = draw.percent(25);
  std::vector<BoundFile> bounds;
  for (const Timeline& line : lines)
    bounds.push_back(bound_file(line, times, first, stagger, draw));
  return bounds;
}

// One scan that orders nothing: no operation completed, or every operation
// issued.
std::vector<BoundFile> untimed_bounds(const TraceSet& set, Draw& draw) {
  const bool none_completed = draw(0, 1) == 0;
  std::vector<BoundFile> bounds;
  for (const Program& program : set.programs) {
    const int all = int(program.size());
    const int either = draw(0, 1) * all;
    bounds.push_back({1, {none_completed ? std::pair(0, either) : std::pair(either, all)}});
  }
  return bounds;
}

}  // namespace

TraceSet random_set(Model model, std::uint32_t seed, int most_ops) {
  Draw draw(seed);
  const Shape shape{model, draw(1, 3), draw(0, 2), draw.percent(40)};
  TraceSet set;
  int value = 0;
  for (int p = draw(2, 3); p > 0; --p) {
    set.programs.push_back(random_program(shape, draw(2, most_ops), draw, value));
  }
  choose_values(set, draw);
  Draw rmw_draw(seed ^ 0x9e3779b9U);
  if (rmw_draw.percent(35)) make_rmws(set, rmw_draw);
  if (draw.percent(3)) add_orphan_release(set, shape.locks, draw);
  set.bounds = draw(0, 1) == 0 ? timed_bounds(set, draw) : untimed_bounds(set, draw);
  return set;
}

TraceSet in_mode(TraceSet set, bool optimized) {
  if (!optimized) set.bounds.clear();
  return set;
}

}  // namespace lock_reference
