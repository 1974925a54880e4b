// Whether some sequence of the run's operations is legal under a lock-based
// model: the sessions of each lock in one order, the stores of each address in
// one order, and no cycle with the arcs every legal sequence keeps (see
// locks/lock_graph.h).
//
// The decision has six steps:
// 1. Inference. An order that the arcs already force is added at once: if
//    session T's acquire reaches session S's release, S cannot come before T,
//    so T's release precedes S's acquire; if store v reaches store w, or a
//    load that read w, then w cannot come before v, so v precedes w and every
//    load that read v precedes w. A cycle proves the violation. The first
//    pass asks every pair; later passes ask only the pairs not yet ordered,
//    since an ordered pair forces nothing more while the arcs only grow.
// 2. Completion. The graph is acyclic, so it has a topological order; every
//    pair the inference left open is ordered as that order has it. When the
//    result closes no cycle, the run is legal, and the orders are the proof.
// 3. Sequence search (locks/sequence_search.h): the legal sequence itself,
//    node by node, with a budget.
// 4. Search. Otherwise, on graphs small enough, one open pair at a time is
//    tried both ways with the inference after each choice; exhausting the
//    choices proves the violation. The search is exponential in the number of
//    open pairs in the worst case (two ways for each), so it gives up after a
//    fixed number of choices.
// 5. Sequence search ranked by program order. What is still undecided gets
//    the sequence search once more, on the same graph, with its choices
//    ranked by a graph that chains every processor's operations in program
//    order, after the inference on that graph (as far as it closes no
//    cycle; operations on cycles are taken out of the chains and the
//    inference tried again, four times at most). Worst case as in step 3,
//    with two and a half times the budget. Measured (baseline, 16 x 625,
//    simulated legal runs, 40% of the accesses in sessions): 17 of 18 runs
//    with 1, 4 or 16 locks find their sequence with about 2,400 choices, in
//    0.04 to 0.27 s after the 0.11 to 0.17 s of that inference; with 80 to
//    90% in sessions, most runs exhaust the budget.
// 6. Sequence search with refutation. If step 5 ran out of its budget, its
//    search runs again, with the same rank and budget, but whenever it makes
//    2,000 choices without going deeper, the inference of step 1 on the
//    graph with the nodes run so far put first (`refutation_by_inference`)
//    finds the lowest state of its stack that admits no legal rest, and the
//    search backs out of it (96 such inferences at most, about 0.15 s each at
//    20,000 nodes). Measured (baseline ScC, 16 x 625, 80 and 90% in
//    sessions, 1, 2 and 4 locks, seeds 4 to 6): 17 of 18 runs that step 5
//    leaves undecided find their sequence, in 1.6 to 12.5 s in all.
#pragma once

#include <optional>
#include <vector>

#include "locks/sequence_search.h"
#include "qirn.h"

enum class LockVerdict { Legal, Violation, Undecided };

struct LockDecision {
  LockVerdict verdict = LockVerdict::Undecided;
  // The cycle that proves a violation, when the inference closed one before
  // any choice; empty for a violation found by exhausting the choices.
  std::optional<FoundCycle> cycle;
  int_t choices = 0;  // choices the search made
};

// Decides the current run under `model` (RC or ScC). A graph too large for
// the reachability matrix gets the check for a cycle of its fixed arcs and
// the sequence search only. Undecided when the searches ran out of their
// budgets, or the graph is too large even for that.
LockDecision decide_lock_model(MCM_t model);

struct LockGraph;
// The same decision on a graph built with the arcs from loads of the initial
// value, small enough for the reachability matrix.
LockDecision decide_lock_graph(LockGraph& g);
// Step 1 alone: adds every inference pass's arcs to `g`, in the order the
// passes find them, up to the pass that closes a cycle, and gives that cycle.
std::optional<FoundCycle> infer_lock_orders(LockGraph& g);
// The rank of step 5: nodes by how many nodes they reach in the graph with
// every processor's operations chained in program order, after the
// inference passes there that close no cycle. Operations on a cycle are
// taken out of the chains and the chains tried again; none when 64 rounds of
// that leave the chained graph itself with a cycle.
std::optional<std::vector<int_t>> program_order_rank(const LockGraph& g);
// The refutation of step 6: a prefix is refuted when the inference closes a
// cycle once its nodes come first, in their order, for then no legal sequence
// starts with them.
Refutation refutation_by_inference(const LockGraph& g);
