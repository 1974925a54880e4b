#include "support/lock_model_reference.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

namespace lock_reference {
namespace {

using Mask = std::uint64_t;

Mask bit(int node) {
  return Mask{1} << node;
}

// The transitive closure of the arcs added so far, which close no cycle. An
// arc that would close one is refused; the caller then drops the closure.
class Closure {
 public:
  explicit Closure(std::size_t nodes) : reach_(nodes, 0) {}

  bool add(int u, int v) {
    if (u == v || (reach_[v] & bit(u)) != 0) return false;
    const Mask gained = reach_[v] | bit(v);
    for (std::size_t x = 0; x < reach_.size(); ++x) {
      if (static_cast<int>(x) == u || (reach_[x] & bit(u)) != 0) reach_[x] |= gained;
    }
    return true;
  }

 private:
  std::vector<Mask> reach_;  // reach_[x]: the nodes x reaches by one arc or more
};

Sessions rc_sessions(const Program& program) {
  Sessions found;
  int open = -1;
  for (int s = 0; s < static_cast<int>(program.size()); ++s) {
    const Op& op = program[s];
    if (op.kind == Kind::Acquire) {
      if (open >= 0) throw std::invalid_argument("nested sessions under RC");
      open = s;
    } else if (op.kind == Kind::Release) {
      if (open < 0) found.orphanRelease = true;
      if (open >= 0) found.list.push_back({open, s, program[open].target});
      open = -1;
    }
  }
  if (open >= 0) throw std::invalid_argument("an acquire without a release");
  return found;
}

Sessions scc_sessions(const Program& program) {
  Sessions found;
  std::map<int, int> open;  // lock -> sequence number of its open acquire
  for (int s = 0; s < static_cast<int>(program.size()); ++s) {
    const Op& op = program[s];
    if (op.kind == Kind::Acquire && !open.emplace(op.target, s).second) {
      throw std::invalid_argument("two open sessions of one lock");
    }
    if (op.kind != Kind::Release) continue;
    const auto held = open.find(op.target);
    if (held == open.end()) {
      found.orphanRelease = true;
      continue;
    }
    found.list.push_back({held->second, s, op.target});
    open.erase(held);
  }
  if (!open.empty()) throw std::invalid_argument("an acquire without a release");
  std::sort(found.list.begin(), found.list.end(),
            [](const Session& a, const Session& b) { return a.acquire < b.acquire; });
  return found;
}

std::optional<std::pair<int, int>> scan_row(const BoundFile& file, int scan) {
  const int index = scan - file.firstScan;
  if (index < 0 || index >= static_cast<int>(file.rows.size())) return std::nullopt;
  return file.rows[index];
}

bool is_access(const Op& op) {
  return op.kind == Kind::Load || op.kind == Kind::Store || op.kind == Kind::Rmw;
}

bool writes(const Op& op) {
  return op.kind == Kind::Store || op.kind == Kind::Rmw;
}

bool reads(const Op& op) {
  return op.kind == Kind::Load || op.kind == Kind::Rmw;
}

int value_read(const Op& op) {
  return op.kind == Kind::Rmw ? op.read : op.value;
}

// One element of an order the definition quantifies over: a store with the
// loads that read it, or a session. Putting it before another element puts
// each node of `tail` before that element's `head`.
struct Element {
  int head;               // the store, or the session's acquire
  std::vector<int> tail;  // the store and its readers, or the session's release
};
using Group = std::vector<Element>;  // the stores of one address, or the sessions of one lock

// The arcs fixed by the set itself and the elements whose order is chosen.
class Problem {
 public:
  Problem(const TraceSet& set, Model model);

  bool legal() const;

 private:
  int id(int p, int s) const { return first_[p] + s; }
  const Op& op(int p, int s) const { return set_.programs[p][s]; }
  int size(int p) const { return static_cast<int>(set_.programs[p].size()); }

  void add_sessions(int p, Model model);
  void add_same_address_order(int p);
  void add_fence_order(int p);
  void add_reads();
  void add_time_order();
  void arc(int u, int v) { arcs_.emplace_back(u, v); }
  bool put_first(const Group& elements, int next, const std::vector<int>& later,
                 Closure& closure) const;
  bool choose(std::size_t group, const std::vector<int>& rest, const Closure& fixed) const;

  const TraceSet& set_;
  std::vector<int> first_;  // node id of each processor's operation 0
  int nodes_ = 0;
  std::vector<std::pair<int, int>> arcs_;
  std::map<int, Group> locks_;
  std::map<int, Group> addresses_;
  std::vector<Group> groups_;  // the lock groups, then the address groups
  bool impossible_ = false;    // a release ends no session, or a load reads no store
};

Problem::Problem(const TraceSet& set, Model model) : set_(set) {
  for (const Program& program : set.programs) {
    first_.push_back(nodes_);
    nodes_ += static_cast<int>(program.size());
  }
  if (nodes_ > 64) throw std::invalid_argument("more than 64 operations");
  for (int p = 0; p < static_cast<int>(set.programs.size()); ++p) {
    add_sessions(p, model);
    add_same_address_order(p);
    add_fence_order(p);
  }
  add_reads();
  add_time_order();
  for (auto& entry : locks_) groups_.push_back(std::move(entry.second));
  for (auto& entry : addresses_) groups_.push_back(std::move(entry.second));
}

// Rule 1 inside and between sessions, and the session elements of rule 3.
void Problem::add_sessions(int p, Model model) {
  const Sessions found = find_sessions(set_.programs[p], model);
  impossible_ |= found.orphanRelease;
  for (std::size_t i = 0; i < found.list.size(); ++i) {
    const Session& session = found.list[i];
    arc(id(p, session.acquire), id(p, session.release));
    for (int s = session.acquire + 1; s < session.release; ++s) {
      arc(id(p, session.acquire), id(p, s));
      arc(id(p, s), id(p, session.release));
    }
    for (std::size_t j = i + 1; j < found.list.size(); ++j) {
      if (found.list[j].lock == session.lock) {
        arc(id(p, session.release), id(p, found.list[j].acquire));
      }
    }
    locks_[session.lock].push_back({id(p, session.acquire), {id(p, session.release)}});
  }
}

// Rule 1 for two loads or stores of one processor to one address.
void Problem::add_same_address_order(int p) {
  for (int s = 0; s < size(p); ++s) {
    for (int t = s + 1; t < size(p); ++t) {
      if (is_access(op(p, s)) && is_access(op(p, t)) && op(p, s).target == op(p, t).target) {
        arc(id(p, s), id(p, t));
      }
    }
  }
}

// A fence after every earlier operation of its processor and before every
// later one.
void Problem::add_fence_order(int p) {
  for (int f = 0; f < size(p); ++f) {
    if (op(p, f).kind != Kind::Fence) continue;
    for (int s = 0; s < f; ++s) arc(id(p, s), id(p, f));
    for (int t = f + 1; t < size(p); ++t) arc(id(p, f), id(p, t));
  }
}

// The store elements with their readers, the write-to arcs and the arcs from
// each load of the initial 0 to every store of its address. An RMW is a store
// element and a reader of the store it read: putting that store first puts
// the store's other readers before the RMW, so nothing else of the address
// comes between the two.
void Problem::add_reads() {
  std::map<std::pair<int, int>, std::size_t> writer;  // (address, value) -> index in its group
  for (int p = 0; p < static_cast<int>(first_.size()); ++p) {
    for (int s = 0; s < size(p); ++s) {
      if (!writes(op(p, s))) continue;
      Group& stores = addresses_[op(p, s).target];
      if (!writer.emplace(std::pair(op(p, s).target, op(p, s).value), stores.size()).second) {
        throw std::invalid_argument("two stores of one value to one address");
      }
      stores.push_back({id(p, s), {id(p, s)}});
    }
  }
  for (int p = 0; p < static_cast<int>(first_.size()); ++p) {
    for (int s = 0; s < size(p); ++s) {
      const Op& load = op(p, s);
      if (!reads(load)) continue;
      Group& stores = addresses_[load.target];
      if (value_read(load) == 0) {
        for (const Element& store : stores) {
          if (store.head != id(p, s)) arc(id(p, s), store.head);
        }
        continue;
      }
      const auto found = writer.find({load.target, value_read(load)});
      impossible_ |= found == writer.end();
      if (found == writer.end()) continue;
      arc(stores[found->second].head, id(p, s));
      stores[found->second].tail.push_back(id(p, s));
    }
  }
}

// Rule 4, for every pair of operations of any processors.
void Problem::add_time_order() {
  const int processors = static_cast<int>(first_.size());
  for (int up = 0; up < processors; ++up) {
    for (int vp = 0; vp < processors; ++vp) {
      for (int u = 0; u < size(up); ++u) {
        for (int v = 0; v < size(vp); ++v) {
          if (timed_before(set_.bounds, up, u, vp, v)) arc(id(up, u), id(vp, v));
        }
      }
    }
  }
}

std::vector<int> indices(std::size_t count) {
  std::vector<int> all(count);
  for (std::size_t i = 0; i < count; ++i) all[i] = static_cast<int>(i);
  return all;
}

// Puts element `next` before every element in `later`; false when that
// closes a cycle.
bool Problem::put_first(const Group& elements, int next, const std::vector<int>& later,
                        Closure& closure) const {
  for (int other : later) {
    for (int node : elements[next].tail) {
      if (node != elements[other].head && !closure.add(node, elements[other].head)) return false;
    }
  }
  return true;
}

// Tries each element of `rest` as the next one of `groups_[group]`, then the
// groups after it. Choosing an element puts it before every element still in
// `rest`: the arcs of the finished chain give exactly these orders by
// transitivity, so a cycle refused here would be closed by every completion.
bool Problem::choose(std::size_t group, const std::vector<int>& rest, const Closure& fixed) const {
  if (rest.empty()) {
    return group + 1 == groups_.size() ||
           choose(group + 1, indices(groups_[group + 1].size()), fixed);
  }
  for (int next : rest) {
    std::vector<int> later = rest;
    later.erase(std::find(later.begin(), later.end(), next));
    Closure closure = fixed;
    if (put_first(groups_[group], next, later, closure) && choose(group, later, closure)) {
      return true;
    }
  }
  return false;
}

bool Problem::legal() const {
  if (impossible_) return false;
  Closure fixed(static_cast<std::size_t>(nodes_));
  for (const auto& [u, v] : arcs_) {
    if (!fixed.add(u, v)) return false;
  }
  return groups_.empty() || choose(0, indices(groups_[0].size()), fixed);
}

}  // namespace

Sessions find_sessions(const Program& program, Model model) {
  return model == Model::RC ? rc_sessions(program) : scc_sessions(program);
}

bool timed_before(const std::vector<BoundFile>& bounds, int up, int useq, int vp, int vseq) {
  if (bounds.empty()) return false;
  const BoundFile& file = bounds[up];
  for (std::size_t i = 0; i < file.rows.size(); ++i) {
    const auto other = scan_row(bounds[vp], file.firstScan + static_cast<int>(i));
    if (useq < file.rows[i].first && other && vseq >= other->second) return true;
  }
  return false;
}

bool legal(const TraceSet& set, Model model) {
  return Problem(set, model).legal();
}

}  // namespace lock_reference
