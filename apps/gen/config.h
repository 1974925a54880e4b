// Settings of one qirn-gen run and the limits they must respect.
#pragma once

#include <cstdint>
#include <string>

namespace qirn_gen {

// How the simulated processors reach memory: SC at once, in program order;
// TSO through a FIFO store buffer per processor; PSO through one FIFO per
// processor and address, so that stores to different addresses may reach
// memory out of program order; WMO as PSO, and loads and RMWs may moreover
// take effect ahead of earlier operations of other addresses.
enum class MemoryModel { SC, TSO, PSO, WMO };

inline const char* model_name(MemoryModel model) {
  static const char* const kNames[] = {"SC", "TSO", "PSO", "WMO"};
  return kNames[static_cast<int>(model)];
}

struct GenConfig {
  int32_t processors = 16;
  int32_t operations = 20;  // loads and stores per processor; lock operations come on top
  int32_t addresses = 4;
  int32_t locks = 1;
  int32_t lockShare = 40;    // percentage of loads and stores that lie inside lock sessions
  int32_t scanDistance = 8;  // global clock ticks between two scans
  uint64_t seed = 1;
  int32_t violations = 0;       // loads made to return an older value of their address
  int32_t timedViolations = 0;  // the same, limited to values the scans prove overwritten
  int32_t lockViolations = 0;   // planted sessions whose lock proves a load's value overwritten
  MemoryModel model = MemoryModel::SC;
  int32_t fences = 0;         // percentage of loads and stores followed by a fence
  int32_t rmw = 0;            // percentage of loads and stores made read-modify-writes
  int32_t rmwViolations = 0;  // RMWs made to read the same value as an earlier RMW
  std::string prefix;         // path prefix of the written files, as qirn's -i takes it
  std::string oneFile;        // where to write the run as one file as well; empty for nowhere
};

// Whether stores wait in a buffer before they reach memory.
inline bool buffered(const GenConfig& config) {
  return config.model != MemoryModel::SC;
}

// Whether a processor's buffer drains in program order per address only.
inline bool per_address(const GenConfig& config) {
  return config.model == MemoryModel::PSO || config.model == MemoryModel::WMO;
}

// Whether the run was asked for RMWs or their violations; without, nothing
// about them is drawn or written, and the files are those of before RMWs.
inline bool asks_rmw(const GenConfig& config) {
  return config.rmw > 0 || config.rmwViolations > 0;
}

// Longest stretch of loads and stores one lock session holds.
inline constexpr int32_t kMaxSessionLength = 3;
// Operations a processor may have issued but not yet completed.
inline constexpr int32_t kPipelineDepth = 3;
// Under TSO and PSO, operations a processor may have issued but not yet
// taken effect stay within kPipelineDepth, and this many more may wait for
// completion: stores in the buffer and the operations after them.
inline constexpr int32_t kStoreBufferDepth = 4;
// A store stays in its buffer for a number of ticks drawn below this many
// per processor, unless nothing else can happen first.
inline constexpr int32_t kDrainDelay = 8;
// Operations that one planted lock violation adds at most, over both its
// processors: the seven and four of a stale read in a session.
inline constexpr int32_t kMaxLockViolationLength = 11;
// Values are numbered from 1 over all stores and RMWs, and qirn reads them as 32-bit integers.
inline constexpr int64_t kMaxTotalOperations = 10'000'000;

}  // namespace qirn_gen
