// Cycle detection over the order graph, and the printed witness.
#pragma once

#include <optional>

#include "graph/marks.h"
#include "qirn.h"

// The cycle the verifier reports: that of the first start, in processor then
// sequence order, whose walk closes; else, when only several time links close
// one, a cycle through the first operation on such a cycle.
std::optional<FoundCycle> find_cycle();
// Prints the cycle's nodes and tags on one line, without a newline.
void print_cycle(const FoundCycle& cycle);
// Prints the cycle under "Find a consistency violation:" and keeps it in
// `state->lastCycle`.
void report_cycle(FoundCycle cycle);
// 1 when a cycle was found, printed and kept in `state->lastCycle`, else 0.
int_t check_cycle();
int_t dfs_check(opnode* u, opnode* v, NodeMarks& visited);
int_t dfs_check_optimize(opnode* u, opnode* v, NodeMarks& visited);
int_t dfs_check_baseline(opnode* u, opnode* v, NodeMarks& visited);
// The walk from v that closes at u or at an operation timed before u.
std::optional<FoundCycle> walk_cycle(opnode* u, opnode* v, NodeMarks& visited);
// Prints the walk's cycle without its last node, u, which the caller prints,
// and keeps it in `state->lastCycle`; 0 when the walk does not close.
int_t dfs_print(opnode* u, opnode* v, NodeMarks& visited);
