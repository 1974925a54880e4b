// SC, TSO and PSO against a machine that runs tiny trace sets step by step.
//
// The machine is written from the README section "TSO and PSO" alone: every
// processor executes its operations in program order; a store enters the
// processor's buffer, and a later step moves the oldest buffered store (under
// PSO, the oldest of some address) to memory; a load takes the newest
// buffered store of its own processor to its address, or else memory; a
// fence waits for an empty buffer. Under SC a store goes to memory at once.
// With bound files, an operation that a scan found not yet issued waits until
// every operation that the scan found completed has completed; a store
// completes when it reaches memory. A set is legal when some run of the
// machine returns every traced value and ends with empty buffers; the search
// tries every step and remembers the states it has left.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "run/driver.h"
#include "support/lock_model_reference.h"
#include "support/lock_trace_sets.h"
#include "support/trace_fixture.h"

namespace {

enum class Kind { Load, Store, Fence };

struct Op {
  Kind kind;
  int addr = 0;
  int value = 0;
};

using Program = std::vector<Op>;
using lock_reference::BoundFile;

struct Buffered {
  int processor;
  int seq;
  int addr;
  int value;
};

class Machine {
 public:
  Machine(const std::vector<Program>& programs, const std::vector<BoundFile>& bounds,
          const std::string& model)
      : programs_(programs), bounds_(bounds), model_(model), next_(programs.size(), 0) {}

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

  bool execute(int p) {
    const int seq = next_[p];
    if (seq >= static_cast<int>(programs_[p].size()) || !may_issue(p, seq)) return false;
    const Op& op = programs_[p][seq];
    if (op.kind == Kind::Load && read(p, op.addr) != op.value) return false;
    if (op.kind == Kind::Fence && !buffer_empty(p)) return false;
    const auto saved = *this;
    ++next_[p];
    if (op.kind == Kind::Store) {
      if (model_ == "SC") {
        memory_[op.addr] = op.value;
      } else {
        buffer_.push_back({p, seq, op.addr, op.value});
      }
    }
    if (search()) return true;
    *this = saved;
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
    const auto saved = *this;
    buffer_.erase(buffer_.begin() + static_cast<long>(k));
    memory_[entry.addr] = entry.value;
    if (search()) return true;
    *this = saved;
    return false;
  }

  bool search() {
    if (done()) return true;
    if (!left_->insert(key()).second) return false;
    for (std::size_t p = 0; p < programs_.size(); ++p) {
      if (execute(int(p))) return true;
    }
    for (std::size_t k = 0; k < buffer_.size(); ++k) {
      if (drain(k)) return true;
    }
    return false;
  }

  std::vector<Program> programs_;
  std::vector<BoundFile> bounds_;
  std::string model_;
  std::vector<int> next_;
  std::vector<Buffered> buffer_;
  std::map<int, int> memory_;
  std::shared_ptr<std::set<std::string>> left_ = std::make_shared<std::set<std::string>>();
};

struct TraceSet {
  std::vector<Program> programs;
  std::vector<BoundFile> bounds;
};

// Runs the programs once on a random machine of the model (stores drain at
// random moments; PSO drains a random address) and sets every load's value
// to what it read there.
void take_values_of_a_run(std::vector<Program>& programs, const std::string& model,
                          std::mt19937& random) {
  std::vector<std::size_t> next(programs.size(), 0);
  std::vector<Buffered> buffer;
  std::map<int, int> memory;
  const auto read = [&](int p, int addr) {
    for (auto entry = buffer.rbegin(); entry != buffer.rend(); ++entry) {
      if (entry->processor == p && entry->addr == addr) return entry->value;
    }
    return memory.count(addr) != 0 ? memory[addr] : 0;
  };
  const auto drain_one = [&](std::size_t k) {
    for (std::size_t j = 0; j < k; ++j) {
      const bool sameQueue = model == "TSO" || buffer[j].addr == buffer[k].addr;
      if (buffer[j].processor == buffer[k].processor && sameQueue) k = j;
    }
    memory[buffer[k].addr] = buffer[k].value;
    buffer.erase(buffer.begin() + static_cast<long>(k));
  };
  for (;;) {
    std::vector<int> ready;
    for (std::size_t p = 0; p < programs.size(); ++p) {
      if (next[p] < programs[p].size()) ready.push_back(int(p));
    }
    if (ready.empty()) break;
    if (!buffer.empty() && random() % 8 == 0) {
      drain_one(random() % buffer.size());
      continue;
    }
    const int p = ready[random() % ready.size()];
    Op& op = programs[p][next[p]];
    const bool waits = op.kind == Kind::Fence || model == "SC";
    bool pending = false;
    for (const Buffered& entry : buffer) pending = pending || entry.processor == p;
    if (waits && pending) {
      for (std::size_t k = 0; k < buffer.size(); ++k) {
        if (buffer[k].processor == p) {
          drain_one(k);
          break;
        }
      }
      continue;
    }
    if (op.kind == Kind::Load) op.value = read(p, op.addr);
    if (op.kind == Kind::Store) buffer.push_back({p, int(next[p]), op.addr, op.value});
    if (op.kind == Kind::Store && model == "SC") drain_one(buffer.size() - 1);
    ++next[p];
  }
}

// 2-3 processors of 2 to `mostOps` operations on 1-3 addresses, with fences
// in some sets; a third of the stores are followed by a load of their
// address, which a buffered store serves. The loads read what a random run of SC, TSO or PSO gave
// them; in three sets of five one load then reads another store of its address, of any processor
// and place, or 0. Half the sets get bound files from random issue and completion times, in which a
// store may complete long after it issued.
TraceSet random_set(std::uint32_t seed, int mostOps) {
  std::mt19937 random(seed);
  const auto below = [&](int n) { return static_cast<int>(random() % std::uint32_t(n)); };
  TraceSet set;
  set.programs.resize(2 + below(2));
  const int addresses = 1 + below(3);
  const int fences = below(3) * 15;
  std::vector<std::vector<int>> storedTo(addresses);
  int value = 1;
  for (Program& program : set.programs) {
    for (int n = 2 + below(mostOps - 1); n > 0; --n) {
      if (below(100) < fences) program.push_back({Kind::Fence});
      const int addr = below(addresses);
      if (below(2) == 0) {
        program.push_back({Kind::Store, addr, value});
        storedTo[addr].push_back(value++);
        if (below(3) == 0) program.push_back({Kind::Load, addr, 0});
      } else {
        program.push_back({Kind::Load, addr, 0});
      }
    }
  }
  take_values_of_a_run(set.programs, std::vector<std::string>{"SC", "TSO", "PSO"}[below(3)],
                       random);
  std::vector<Op*> loads;
  for (Program& program : set.programs) {
    for (Op& op : program) {
      if (op.kind == Kind::Load) loads.push_back(&op);
    }
  }
  if (!loads.empty() && below(5) < 3) {
    Op& op = *loads[below(int(loads.size()))];
    std::vector<int> others = {0};
    others.insert(others.end(), storedTo[op.addr].begin(), storedTo[op.addr].end());
    std::erase(others, op.value);
    if (!others.empty()) op.value = others[below(int(others.size()))];
  }
  if (below(2) == 0) return set;
  const int scans = 12;
  for (const Program& program : set.programs) {
    BoundFile file;
    std::vector<int> issued;
    std::vector<int> done;
    int clock = 1;
    for (std::size_t k = 0; k < program.size(); ++k) {
      clock += below(3);
      issued.push_back(clock);
      done.push_back(clock + below(program[k].kind == Kind::Store ? 6 : 2));
    }
    for (int scan = 1; scan <= scans; ++scan) {
      int lower = 0;
      while (lower < int(done.size()) && done[lower] < scan) ++lower;
      int upper = 0;
      while (upper < int(issued.size()) && issued[upper] <= scan) ++upper;
      file.rows.push_back({lower, std::max(lower, upper)});
    }
    set.bounds.push_back(file);
  }
  return set;
}

std::string trace_text(const Program& program) {
  std::string text;
  for (const Op& op : program) {
    if (op.kind == Kind::Fence) {
      text += "fence\n";
      continue;
    }
    text += op.kind == Kind::Load ? "load " : "store ";
    text += std::to_string(op.addr) + " " + std::to_string(op.value) + "\n";
  }
  return text;
}

class StoreBufferModels : public TraceFixture {
 protected:
  // 1 for a violation, 0 for a pass, -1 for neither.
  int qirn_verdict(const TraceSet& set, const std::string& model, bool optimized) {
    std::vector<std::string> traces;
    std::vector<std::string> bounds;
    for (std::size_t p = 0; p < set.programs.size(); ++p) {
      traces.push_back(trace_text(set.programs[p]));
      bounds.push_back(optimized ? lock_reference::bound_text(set.bounds[p]) : "");
    }
    write_files("tfres", traces);
    write_files("boundgt", bounds);
    std::vector<std::string> words = {
        "qirn", "-p", std::to_string(set.programs.size()), "-m", model, "-i", scratch_ + "/"};
    if (!optimized) words.push_back("-b");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    int status = 0;
    ::testing::internal::CaptureStderr();
    const std::string out = printed(
        [&] { status = run_guarded([&] { return run_qirn(int(words.size()), argv.data()); }); });
    const std::string err = ::testing::internal::GetCapturedStderr();
    if (out.find("find cycle\n") != std::string::npos) return 1;
    if (status == 255 && err.find("write-to consistency violation") != std::string::npos) return 1;
    return out.find("no cycle!\n") != std::string::npos && status == 0 ? 0 : -1;
  }
};

int cases_to_run() {
  const char* text = std::getenv("QIRN_STORE_BUFFER_CASES");
  return text != nullptr ? std::atoi(text) : 150;
}

TEST_F(StoreBufferModels, VerdictsAreThoseOfTheMachine) {
  const int cases = cases_to_run();
  for (const std::string model : {"SC", "TSO", "PSO"}) {
    int runs = 0;
    int violations = 0;
    int mismatches = 0;
    for (std::uint32_t seed = 1; seed <= std::uint32_t(cases); ++seed) {
      const TraceSet set = random_set(seed, 5);
      const bool timed = !set.bounds.empty();
      for (bool optimized : {false, true}) {
        if (optimized && !timed) continue;
        const bool legal =
            Machine(set.programs, optimized ? set.bounds : std::vector<BoundFile>{}, model).legal();
        ++runs;
        violations += legal ? 0 : 1;
        const int verdict = qirn_verdict(set, model, optimized);
        if (verdict == (legal ? 0 : 1)) continue;
        if (++mismatches > 3) continue;
        ADD_FAILURE() << model << (optimized ? " optimized" : " baseline") << ", set " << seed
                      << ": the machine says " << (legal ? "legal" : "violation") << ", qirn "
                      << verdict;
      }
    }
    std::printf("%s: %d runs, %d violations, %d mismatches\n", model.c_str(), runs, violations,
                mismatches);
    EXPECT_EQ(mismatches, 0) << model;
    EXPECT_GE(10 * violations, 3 * runs);
    EXPECT_GE(5 * (runs - violations), runs);
  }
}

}  // namespace
