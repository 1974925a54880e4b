#include "gen/programs.h"

#include <algorithm>

namespace qirn_gen {
namespace {

class ProgramBuilder {
 public:
  ProgramBuilder(const GenConfig& config, SplitMix64& rng) : config_(config), rng_(rng) {}

  Program build() {
    const std::vector<bool> inSession = choose_session_members();
    Program program;
    int32_t k = 0;
    while (k < config_.operations) {
      if (!inSession[k]) {
        append_access(program);
        ++k;
        continue;
      }
      int32_t runEnd = k;
      while (runEnd < config_.operations && inSession[runEnd]) ++runEnd;
      const int32_t length = std::min(1 + rng_.below(kMaxSessionLength), runEnd - k);
      append_session(program, length);
      k += length;
    }
    return program;
  }

 private:
  // Each load or store lies in a session with the configured chance; runs of
  // members are then cut into sessions of at most kMaxSessionLength.
  std::vector<bool> choose_session_members() {
    std::vector<bool> members(config_.operations, false);
    if (config_.locks == 0) return members;
    for (int32_t k = 0; k < config_.operations; ++k) members[k] = rng_.percent(config_.lockShare);
    return members;
  }

  void append_session(Program& program, int32_t length) {
    const int32_t lock = rng_.below(config_.locks);
    program.push_back(GenOp{.kind = OpKind::Acquire, .target = lock});
    for (int32_t i = 0; i < length; ++i) append_access(program);
    program.push_back(GenOp{.kind = OpKind::Release, .target = lock});
  }

  // A load or store, followed by a fence with the configured chance. Without
  // fences nothing more is drawn, so such runs are those of before fences.
  void append_access(Program& program) {
    program.push_back(memory_op());
    if (config_.fences > 0 && rng_.percent(config_.fences)) {
      program.push_back(GenOp{.kind = OpKind::Fence});
    }
  }

  // An RMW with the configured chance, else a load or a store, each as
  // likely. Without RMWs nothing more is drawn than before them.
  GenOp memory_op() {
    GenOp op;
    op.target = rng_.below(config_.addresses);
    if (config_.rmw > 0 && rng_.percent(config_.rmw)) {
      op.kind = OpKind::Rmw;
    } else if (rng_.percent(50)) {
      op.kind = OpKind::Store;
    }
    if (writes(op)) op.value = ++lastValue_;
    return op;
  }

  const GenConfig& config_;
  SplitMix64& rng_;
  int32_t lastValue_ = 0;
};

}  // namespace

std::vector<Program> build_programs(const GenConfig& config, SplitMix64& rng) {
  ProgramBuilder builder(config, rng);
  std::vector<Program> programs;
  for (int32_t p = 0; p < config.processors; ++p) programs.push_back(builder.build());
  return programs;
}

}  // namespace qirn_gen
