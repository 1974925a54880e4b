#include "gen/scheduler.h"

#include <array>
#include <stdexcept>
#include <utility>

namespace qirn_gen {
namespace {

enum class Step { Issue, Effect, Complete };

// Positions in one processor's program: operations below `issued` have been
// issued, below `effected` have taken effect, below `completed` completed.
struct Cursor {
  int32_t issued = 0;
  int32_t effected = 0;
  int32_t completed = 0;
};

struct StepSet {
  std::array<Step, 3> steps{};
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
        memory_(config.addresses, 0) {
    for (const Program& program : programs) remaining_ += program.size();
  }

  std::vector<ScanRow> run() {
    while (!finished()) {
      take_step();
      if (tick_ % config_.scanDistance == 0) record_scan();
    }
    if (scans_.empty() || !all_completed_at(scans_.back())) record_scan();
    return std::move(scans_);
  }

 private:
  bool finished() const { return remaining_ == 0; }

  int32_t size_of(size_t p) const { return static_cast<int32_t>(programs_[p].size()); }

  StepSet enabled_steps(size_t p) const {
    const Cursor& c = cursors_[p];
    StepSet set;
    if (c.issued < size_of(p) && c.issued - c.completed < kPipelineDepth) {
      set.steps[set.count++] = Step::Issue;
    }
    if (c.effected < c.issued && may_take_effect(c, programs_[p][c.effected])) {
      set.steps[set.count++] = Step::Effect;
    }
    if (c.completed < c.effected) set.steps[set.count++] = Step::Complete;
    return set;
  }

  // A lock operation waits until everything before it has completed, and an
  // acquire until its lock is free.
  bool may_take_effect(const Cursor& c, const GenOp& op) const {
    if (!is_lock_op(op)) return true;
    return c.completed == c.effected && (op.kind == OpKind::Release || lockOwner_[op.target] < 0);
  }

  // A processor that holds a lock can always go on, since it takes no other
  // lock before releasing it; so some processor always has a step.
  void take_step() {
    ready_.clear();
    for (size_t p = 0; p < programs_.size(); ++p) {
      const StepSet set = enabled_steps(p);
      if (set.count > 0) ready_.push_back({p, set});
    }
    if (ready_.empty()) throw std::logic_error("scheduler: no processor can make progress");
    const auto& [p, set] = ready_[rng_.below(static_cast<uint64_t>(ready_.size()))];
    ++tick_;
    perform(p, set.steps[rng_.below(set.count)]);
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
      case Step::Complete:
        complete(programs_[p][c.completed++]);
        break;
    }
  }

  // A lock operation completes in the same tick: taking or freeing the lock
  // is all it does.
  void take_effect(size_t p, Cursor& c) {
    GenOp& op = programs_[p][c.effected++];
    op.effect = tick_;
    if (is_lock_op(op)) complete(programs_[p][c.completed++]);
    switch (op.kind) {
      case OpKind::Load:
        op.value = memory_[op.target];
        break;
      case OpKind::Store:
        memory_[op.target] = op.value;
        break;
      case OpKind::Acquire:
        lockOwner_[op.target] = static_cast<int32_t>(p);
        break;
      case OpKind::Release:
        lockOwner_[op.target] = -1;
        break;
    }
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
};

}  // namespace

std::vector<ScanRow> schedule(std::vector<Program>& programs, const GenConfig& config,
                              SplitMix64& rng) {
  return Scheduler(programs, config, rng).run();
}

}  // namespace qirn_gen
