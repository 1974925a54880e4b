#include "gen/scheduler.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "gen/lock_violations.h"

namespace qirn_gen {
namespace {

enum class Step { Issue, Effect, Drain, Complete };

// The stores of one processor that have left it but not reached memory, in
// program order, each with its address and the tick from which it may drain.
// Under TSO only the oldest may drain; under PSO the oldest of each address.
// It holds a handful of stores, so a plain list serves.
class StoreBuffer {
 public:
  bool empty() const { return entries_.empty(); }

  void push(int32_t address, int32_t seq, int64_t due) { entries_.push_back({address, seq, due}); }

  // The newest buffered store to the address, which a load of it reads;
  // -1 when there is none.
  int32_t newest(int32_t address) const {
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
      if (entry->address == address) return entry->seq;
    }
    return -1;
  }

  // The entries that may drain at tick `now`; with `anyTime`, also those
  // not yet due.
  std::vector<size_t> drainable(bool perAddress, int64_t now, bool anyTime) const {
    std::vector<size_t> ready;
    for (size_t i = 0; i < entries_.size() && (i == 0 || perAddress); ++i) {
      bool oldest = true;
      for (size_t j = 0; j < i && oldest; ++j) oldest = entries_[j].address != entries_[i].address;
      if (oldest && (anyTime || entries_[i].due <= now)) ready.push_back(i);
    }
    return ready;
  }

  // Takes out the entry at `at`, returning its sequence number.
  int32_t pop(size_t at) {
    const int32_t seq = entries_[at].seq;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
    return seq;
  }

 private:
  struct Entry {
    int32_t address;
    int32_t seq;
    int64_t due;
  };
  std::vector<Entry> entries_;
};

// Positions in one processor's program: operations below `issued` have been
// issued, below `effected` have taken effect (stores with buffers: have
// entered the buffer), below `completed` completed. Under WMO loads and RMWs
// between `effected` and `issued` may have taken effect too.
struct Cursor {
  int32_t issued = 0;
  int32_t effected = 0;
  int32_t completed = 0;
  bool holdsLock = false;  // its last lock operation to take effect was an acquire
  StoreBuffer buffer;      // empty under SC
};

struct StepSet {
  std::array<Step, 4> steps{};
  uint64_t count = 0;
};

struct ReadyProcessor {
  size_t proc;
  StepSet set;
};

class Scheduler {
 public:
  Scheduler(std::vector<Program>& programs, const GenConfig& config, SplitMix64& rng)
      : programs_(programs),
        config_(config),
        rng_(rng),
        cursors_(programs.size()),
        lockOwner_(config.locks, -1),
        memory_(config.addresses, 0),
        lastValue_(last_value(programs)),
        plan_(config, total_steps(programs, config), rng) {
    for (const Program& program : programs) remaining_ += program.size();
  }

  Schedule run() {
    while (!finished()) {
      take_step();
      while (plan_.due(steps_)) {
        if (!plant()) break;
      }
    }
    while (plan_.pending()) {
      if (!plant()) throw std::logic_error("scheduler: no room for a lock violation at the end");
    }
    if (scans_.empty() || !all_completed_at(scans_.back())) record_scan();
    return {std::move(scans_), std::move(planted_)};
  }

 private:
  bool finished() const { return remaining_ == 0; }

  int32_t size_of(size_t p) const { return static_cast<int32_t>(programs_[p].size()); }

  // Under SC the steps are, in this order, those of the runs before store
  // buffers, so the same seed gives the same run.
  StepSet enabled_steps(size_t p) const {
    const Cursor& c = cursors_[p];
    StepSet set;
    if (c.issued < size_of(p) && may_issue(c)) set.steps[set.count++] = Step::Issue;
    if (may_effect(p)) set.steps[set.count++] = Step::Effect;
    if (!c.buffer.empty() && !drainable(c, tick_ + 1).empty()) {
      set.steps[set.count++] = Step::Drain;
    }
    if (c.completed < c.effected && reached_memory(programs_[p][c.completed])) {
      set.steps[set.count++] = Step::Complete;
    }
    return set;
  }

  // With buffers, stores that wait in them (and what follows them) do not
  // hold up the pipeline, up to kStoreBufferDepth of them.
  bool may_issue(const Cursor& c) const {
    if (!buffered(config_)) return c.issued - c.completed < kPipelineDepth;
    return c.issued - c.effected < kPipelineDepth &&
           c.issued - c.completed < kPipelineDepth + kStoreBufferDepth;
  }

  bool may_effect(size_t p) const {
    const Cursor& c = cursors_[p];
    if (config_.model == MemoryModel::WMO) return !effect_candidates(p).empty();
    return c.effected < c.issued && may_take_effect(c, programs_[p][c.effected]);
  }

  // Under WMO, the operations of p that may take effect now, oldest first:
  // the oldest that has not when it may, and every later load or RMW that has
  // not either, which passes only earlier operations of other addresses that
  // have not taken effect, and none that is a fence or lock operation. It
  // reads a buffered store of its address when there is one: those of its
  // address before it are all in the buffer or in memory.
  std::vector<int32_t> effect_candidates(size_t p) const {
    const Cursor& c = cursors_[p];
    const Program& program = programs_[p];
    std::vector<int32_t> ready;
    if (c.effected == c.issued) return ready;
    if (may_take_effect(c, program[c.effected])) ready.push_back(c.effected);
    std::vector<int32_t> waiting;  // addresses of the earlier ones that have not taken effect
    for (int32_t s = c.effected; s < c.issued && is_access(program[s]); ++s) {
      const GenOp& op = program[s];
      if (taken_early(op)) continue;
      const bool passes = std::find(waiting.begin(), waiting.end(), op.target) == waiting.end();
      if (s > c.effected && passes && reads(op) && may_take_effect(c, op)) ready.push_back(s);
      waiting.push_back(op.target);
    }
    return ready;
  }

  // A load or RMW after the oldest operation that has not taken effect, which
  // took effect ahead of it (WMO).
  static bool taken_early(const GenOp& op) { return reads(op) && op.effect > 0; }

  static bool reads(const GenOp& op) { return op.kind == OpKind::Load || op.kind == OpKind::Rmw; }

  // A lock operation or fence waits until everything before it has
  // completed, an acquire also until its lock is free. A store completes only
  // once it reached memory, so with buffers that drains the buffer. An RMW
  // waits only for the buffer to drain; under WMO only for its address.
  bool may_take_effect(const Cursor& c, const GenOp& op) const {
    if (op.kind == OpKind::Rmw && config_.model == MemoryModel::WMO) {
      return c.buffer.newest(op.target) < 0;
    }
    if (op.kind == OpKind::Rmw) return c.buffer.empty();
    if (is_access(op)) return true;
    return c.completed == c.effected && (op.kind != OpKind::Acquire || lockOwner_[op.target] < 0);
  }

  std::vector<size_t> drainable(const Cursor& c, int64_t now) const {
    return c.buffer.drainable(per_address(config_), now, drainAnyTime_);
  }

  // A store that waits in its buffer has no effect time yet; ticks start at 1.
  static bool reached_memory(const GenOp& op) { return op.kind != OpKind::Store || op.effect > 0; }

  // A processor that holds a lock can always go on, since it takes no other
  // lock before releasing it, and so can one with buffered stores, once they
  // may drain before they are due; so some processor always has a step.
  void take_step() {
    find_ready();
    drainAnyTime_ = ready_.empty() && buffered(config_);
    if (drainAnyTime_) find_ready();
    if (ready_.empty()) throw std::logic_error("scheduler: no processor can make progress");
    const auto& [p, set] = ready_[rng_.below(static_cast<uint64_t>(ready_.size()))];
    ++steps_;
    advance(p, set.steps[rng_.below(set.count)]);
    drainAnyTime_ = false;
  }

  void find_ready() {
    ready_.clear();
    for (size_t p = 0; p < programs_.size(); ++p) {
      const StepSet set = enabled_steps(p);
      if (set.count > 0) ready_.push_back({p, set});
    }
  }

  void advance(size_t p, Step step) {
    ++tick_;
    perform(p, step);
    if (tick_ % config_.scanDistance == 0) record_scan();
  }

  // Plants the next lock violation on two idle processors and a free lock,
  // when there are such: its writer's operations and then its reader's run
  // one at a time while every other processor waits. No one else touches
  // memory or the lock meanwhile, so the reader's loads return what the
  // writer stored, and the sessions of the lock still follow each other.
  bool plant() {
    std::vector<size_t> idle = idle_processors();
    if (idle.size() < 2 || locksHeld_ == config_.locks) return false;
    for (size_t i = 0; i < 2; ++i) {
      std::swap(idle[i], idle[i + rng_.below(static_cast<uint64_t>(idle.size() - i))]);
    }
    const int32_t lock = free_lock();
    const int32_t address = rng_.below(config_.addresses);
    const int32_t other = (address + 1 + rng_.below(config_.addresses - 1)) % config_.addresses;
    const LockBlock block = lock_block(plan_.take(), lock, address, other, lastValue_ + 1);
    lastValue_ += 3;
    const int32_t writer = static_cast<int32_t>(idle[0]);
    const int32_t reader = static_cast<int32_t>(idle[1]);
    const int32_t overwrite = run_inserted(writer, block.writer) + block.overwrite;
    const int32_t stale = run_inserted(reader, block.reader) + block.staleLoad;
    const int32_t faithful = programs_[reader][stale].value;
    planted_.push_back(
        {block.kind, lock, writer, overwrite, {reader, stale, faithful, block.stale}});
    return true;
  }

  // Processors with nothing in flight and outside every session: operations
  // may be inserted at their next position.
  std::vector<size_t> idle_processors() const {
    std::vector<size_t> idle;
    for (size_t p = 0; p < programs_.size(); ++p) {
      const Cursor& c = cursors_[p];
      if (c.issued == c.completed && !c.holdsLock) idle.push_back(p);
    }
    return idle;
  }

  int32_t free_lock() {
    int32_t lock = rng_.below(config_.locks);
    while (lockOwner_[lock] >= 0) lock = rng_.below(config_.locks);
    return lock;
  }

  // Inserts `ops` at p's next position, where nothing has been issued yet,
  // and runs them to completion, a store through its buffer at once;
  // returns the position.
  int32_t run_inserted(int32_t p, const Program& ops) {
    const int32_t at = cursors_[p].issued;
    programs_[p].insert(programs_[p].begin() + at, ops.begin(), ops.end());
    remaining_ += ops.size();
    for (const GenOp& op : ops) {
      advance(p, Step::Issue);
      advance(p, Step::Effect);
      if (op.kind == OpKind::Store && buffered(config_)) {
        drainAnyTime_ = true;
        advance(p, Step::Drain);
        drainAnyTime_ = false;
      }
      if (is_access(op)) advance(p, Step::Complete);
    }
    return at;
  }

  void perform(size_t p, Step step) {
    Cursor& c = cursors_[p];
    switch (step) {
      case Step::Issue:
        programs_[p][c.issued++].issued = tick_;
        break;
      case Step::Effect:
        take_effect(p, c);
        break;
      case Step::Drain:
        drain(p, c);
        break;
      case Step::Complete:
        complete(programs_[p][c.completed++]);
        break;
    }
  }

  static int32_t last_value(const std::vector<Program>& programs) {
    int32_t last = 0;
    for (const Program& program : programs) {
      for (const GenOp& op : program) last = std::max(last, op.value);
    }
    return last;
  }

  // Steps a run takes: three per load or RMW, three per store and one more
  // for its drain under TSO and PSO, two per lock operation or fence.
  static int64_t total_steps(const std::vector<Program>& programs, const GenConfig& config) {
    int64_t steps = 0;
    for (const Program& program : programs) {
      for (const GenOp& op : program) {
        steps += !is_access(op) ? 2 : op.kind == OpKind::Store && buffered(config) ? 4 : 3;
      }
    }
    return steps;
  }

  // A lock operation or fence completes in the same tick: taking or freeing
  // the lock is all it does. Under TSO and PSO a store enters the buffer and
  // takes effect when it drains, and a load reads the newest buffered store
  // to its address before memory. An RMW, its buffer empty, reads memory and
  // writes it at once.
  void take_effect(size_t p, Cursor& c) {
    const int32_t seq = next_effect(p);
    if (seq == c.effected) {
      ++c.effected;
      while (c.effected < c.issued && taken_early(programs_[p][c.effected])) ++c.effected;
    }
    GenOp& op = programs_[p][seq];
    op.effect = tick_;
    if (!is_access(op)) complete(programs_[p][c.completed++]);
    switch (op.kind) {
      case OpKind::Load: {
        const int32_t source = c.buffer.newest(op.target);
        op.forwarded = source >= 0;
        op.value = op.forwarded ? programs_[p][source].value : memory_[op.target];
        break;
      }
      case OpKind::Store:
        op.buffered = tick_;
        if (buffered(config_)) {
          op.effect = 0;
          c.buffer.push(op.target, seq, tick_ + drain_delay());
        } else {
          memory_[op.target] = op.value;
        }
        break;
      case OpKind::Rmw:
        op.buffered = tick_;
        op.read = memory_[op.target];
        memory_[op.target] = op.value;
        break;
      case OpKind::Fence:
        break;
      case OpKind::Acquire:
        lockOwner_[op.target] = static_cast<int32_t>(p);
        c.holdsLock = true;
        ++locksHeld_;
        break;
      case OpKind::Release:
        lockOwner_[op.target] = -1;
        c.holdsLock = false;
        --locksHeld_;
        break;
    }
  }

  // The operation that takes effect: the oldest that has not, but under WMO
  // one drawn among those that may.
  int32_t next_effect(size_t p) {
    if (config_.model != MemoryModel::WMO) return cursors_[p].effected;
    const std::vector<int32_t> ready = effect_candidates(p);
    return ready.size() == 1 ? ready[0] : ready[rng_.below(ready.size())];
  }

  // Ticks a store stays in its buffer at least: drawn below kDrainDelay
  // steps of each processor, so that the others may read memory meanwhile.
  int64_t drain_delay() {
    return static_cast<int64_t>(rng_.below(static_cast<uint64_t>(kDrainDelay) * programs_.size()));
  }

  // The drained store is drawn among those that may drain.
  void drain(size_t p, Cursor& c) {
    const std::vector<size_t> ready = drainable(c, tick_);
    const size_t at = ready.size() == 1 ? ready[0] : ready[rng_.below(ready.size())];
    GenOp& store = programs_[p][c.buffer.pop(at)];
    store.effect = tick_;
    memory_[store.target] = store.value;
  }

  void complete(GenOp& op) {
    op.completed = tick_;
    --remaining_;
  }

  void record_scan() {
    ScanRow row;
    row.tick = tick_;
    for (const Cursor& c : cursors_) {
      row.lb.push_back(c.completed);
      row.ub.push_back(c.issued);
    }
    scans_.push_back(std::move(row));
  }

  bool all_completed_at(const ScanRow& row) const {
    for (size_t p = 0; p < programs_.size(); ++p) {
      if (row.lb[p] < size_of(p)) return false;
    }
    return true;
  }

  std::vector<Program>& programs_;
  const GenConfig& config_;
  SplitMix64& rng_;
  std::vector<Cursor> cursors_;
  std::vector<int32_t> lockOwner_;
  std::vector<int32_t> memory_;
  std::vector<ScanRow> scans_;
  std::vector<ReadyProcessor> ready_;
  size_t remaining_ = 0;  // operations not yet completed
  int64_t tick_ = 0;
  int64_t steps_ = 0;  // steps taken on the programs as built, without planted operations
  int32_t locksHeld_ = 0;
  bool drainAnyTime_ = false;  // no processor has another step: stores drain before they are due
  int32_t lastValue_;          // the largest value stored so far
  LockViolationPlan plan_;
  std::vector<LockViolation> planted_;
};

}  // namespace

Schedule schedule(std::vector<Program>& programs, const GenConfig& config, SplitMix64& rng) {
  return Scheduler(programs, config, rng).run();
}

}  // namespace qirn_gen
