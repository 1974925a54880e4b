#include "support/store_buffer_machine.h"

#include <map>
#include <set>
#include <vector>

namespace store_buffers {

namespace {

using lock_reference::BoundFile;
using lock_reference::Kind;
using lock_reference::Op;
using lock_reference::Program;
using lock_reference::TraceSet;

struct Buffered {
  int processor;
  int seq;
  int addr;
  int value;
};

class Machine {
 public:
  Machine(const TraceSet& set, const std::string& model)
      : programs_(set.programs), bounds_(set.bounds), model_(model), next_(programs_.size(), 0) {}
  Machine(const Machine&) = delete;

  bool legal() { return search(); }

 private:
  bool done() const {
    for (std::size_t p = 0; p < programs_.size(); ++p) {
      if (next_[p] < static_cast<int>(programs_[p].size())) return false;
    }
    return buffer_.empty();
  }

  std::string key() const {
    std::string text;
    for (int n : next_) text.append(std::to_string(n)).append(",");
    for (const Buffered& entry : buffer_) text.append("b").append(std::to_string(entry.value));
    for (const auto& [addr, value] : memory_) text.append("m").append(std::to_string(value));
    return text;
  }

  bool completed(int p, int seq) const {
    if (seq >= next_[p]) return false;
    for (const Buffered& entry : buffer_) {
      if (entry.processor == p && entry.seq == seq) return false;
    }
    return true;
  }

  // Whether every operation timed before this one has completed.
  bool may_issue(int p, int seq) const {
    if (bounds_.empty()) return true;
    for (std::size_t q = 0; q < programs_.size(); ++q) {
      for (int s = 0; s < static_cast<int>(programs_[q].size()); ++s) {
        if (lock_reference::timed_before(bounds_, int(q), s, p, seq) && !completed(int(q), s)) {
          return false;
        }
      }
    }
    return true;
  }

  int read(int p, int addr) const {
    for (auto entry = buffer_.rbegin(); entry != buffer_.rend(); ++entry) {
      if (entry->processor == p && entry->addr == addr) return entry->value;
    }
    const auto found = memory_.find(addr);
    return found == memory_.end() ? 0 : found->second;
  }

  bool buffer_empty(int p) const {
    for (const Buffered& entry : buffer_) {
      if (entry.processor == p) return false;
    }
    return true;
  }

  // An RMW waits until its processor's stores (under PSO, those to its
  // address) are in memory, then reads and writes memory at once.
  bool rmw_may_run(int p, const Op& op) const {
    for (const Buffered& entry : buffer_) {
      if (entry.processor == p && (model_ != "PSO" || entry.addr == op.target)) return false;
    }
    return read(p, op.target) == op.read;
  }

  bool execute(int p) {
    const int seq = next_[p];
    if (seq >= static_cast<int>(programs_[p].size()) || !may_issue(p, seq)) return false;
    const Op& op = programs_[p][seq];
    const bool access = op.kind == Kind::Load || op.kind == Kind::Store || op.kind == Kind::Rmw;
    if (op.kind == Kind::Load && read(p, op.target) != op.value) return false;
    if (op.kind == Kind::Rmw && !rmw_may_run(p, op)) return false;
    if (!access && !buffer_empty(p)) return false;
    const Moves saved{next_, buffer_, memory_};
    ++next_[p];
    if (op.kind == Kind::Rmw) memory_[op.target] = op.value;
    if (op.kind == Kind::Store) {
      if (model_ == "SC") {
        memory_[op.target] = op.value;
      } else {
        buffer_.push_back({p, seq, op.target, op.value});
      }
    }
    if (search()) return true;
    restore(saved);
    return false;
  }

  // Moves buffer entry k to memory, when it is the oldest of its processor
  // (under PSO, of its processor and address).
  bool drain(std::size_t k) {
    const Buffered entry = buffer_[k];
    for (std::size_t j = 0; j < k; ++j) {
      const bool sameQueue = model_ == "TSO" || buffer_[j].addr == entry.addr;
      if (buffer_[j].processor == entry.processor && sameQueue) return false;
    }
    const Moves saved{next_, buffer_, memory_};
    buffer_.erase(buffer_.begin() + static_cast<long>(k));
    memory_[entry.addr] = entry.value;
    if (search()) return true;
    restore(saved);
    return false;
  }

  bool search() {
    if (done()) return true;
    if (!left_.insert(key()).second) return false;
    for (std::size_t p = 0; p < programs_.size(); ++p) {
      if (execute(int(p))) return true;
    }
    for (std::size_t k = 0; k < buffer_.size(); ++k) {
      if (drain(k)) return true;
    }
    return false;
  }

  // What a step changes, to be put back when the search behind it fails.
  struct Moves {
    std::vector<int> next;
    std::vector<Buffered> buffer;
    std::map<int, int> memory;
  };
  void restore(const Moves& saved) {
    next_ = saved.next;
    buffer_ = saved.buffer;
    memory_ = saved.memory;
  }

  const std::vector<Program>& programs_;
  const std::vector<BoundFile>& bounds_;
  std::string model_;
  std::vector<int> next_;
  std::vector<Buffered> buffer_;
  std::map<int, int> memory_;
  std::set<std::string> left_;
};

}  // namespace

bool explains(const TraceSet& set, const std::string& model) {
  return Machine(set, model).legal();
}

}  // namespace store_buffers
