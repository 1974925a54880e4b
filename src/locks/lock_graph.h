// The order graph the lock-based models are decided on.
//
// One node per operation, plus in optimized mode one "issue point" per
// operation that stands for the moment its processor issued it: issue point
// (q, i) precedes issue point (q, i + 1) and operation (q, i), so one arc from
// an operation to the issue point a scan proves it to precede orders it before
// all of q's later operations without an arc to each of them.
//
// The fixed arcs are those every legal sequence keeps: program order as the
// models keep it (accesses of one processor to one address, a session's
// acquire before its operations and they before its release, the sessions of
// one lock on one processor), each store before the loads that read it, each
// load of the initial value before every store of its address, and the time
// order of the scans. What stays open is the order of each lock's sessions
// and of each address's stores. An RMW is in both roles: a store of its
// address, and a load of the store it read.
#pragma once

#include <vector>

#include "qirn.h"

// A node id, lock or address column as an index into the graph's tables.
inline std::size_t at(int_t index) {
  return static_cast<std::size_t>(index);
}

struct LockArc {
  int_t to;
  ORDER_t tag;
  bool operator==(const LockArc&) const = default;
};

struct LockSession {
  int_t acquire;  // node ids
  int_t release;
};

struct LockGraph {
  std::vector<opnode*> operations;  // by node id
  int_t realCount = 0;              // operations; issue points follow them
  int_t nodeCount = 0;
  std::vector<int_t> firstIssuePoint;  // per processor, in optimized mode
  std::vector<std::vector<LockArc>> out;
  std::vector<std::vector<LockSession>> sessionsOfLock;  // by lock column
  std::vector<std::vector<int_t>> storesOfAddress;       // by address column
  std::vector<std::vector<int_t>> readers;               // per store id, loads that read it
  std::vector<std::vector<int_t>> initialReaders;        // by address column, loads of 0
  bool orphanRelease = false;                            // a release that ends no session
  std::vector<char> kept;                                // by operation id; empty for all

  bool keeps(int_t operation) const { return kept.empty() || kept[at(operation)] != 0; }
  void arc(int_t from, int_t to, ORDER_t tag) { out[at(from)].push_back({to, tag}); }
  bool is_issue_point(int_t node) const { return node >= realCount; }
  // The operation an issue point stands for.
  int_t operation_of(int_t issuePoint) const;
};

// Builds the graph of the current run for `model` (RC or ScC). Without
// `initialArcs` the arcs from each load of the initial value to every store of
// its address are left out (their number is the product of the two counts);
// `initialReaders` still lists those loads. A non-empty `kept` (by operation
// id) builds the graph of the run cut down to the operations it marks, as if
// the others had never been traced; the others stay as nodes without arcs. It
// must keep a session's acquire and release together, and a store with every
// load that read it.
LockGraph build_lock_graph(MCM_t model, bool initialArcs = true,
                           const std::vector<char>& kept = {});
