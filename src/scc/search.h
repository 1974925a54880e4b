// Scope consistency verdict: the frontier search for a global order of the
// in-session stores and the lock sessions.
//
// A search level places one candidate at a time, goes one level deeper after
// each placement that holds, and undoes the placement before it tries the
// next candidate. A level answers -1 (the order is complete; nothing is
// undone on the way up), -2 (dead end) or a conflict location number, which
// is passed up until the level of the variant's rule turns it into -2.
// Levels are frames of an explicit stack, so the depth of the search (the
// number of placed operations) does not depend on the call stack.
#pragma once

#include "graph/marks.h"
#include "qirn.h"

// Sets up the search, runs the variant of the mode and lock count, prints
// the outcome and returns the result of the root level.
int_t verificationAlgorithm();

// The three variants, run from the current state; ploc is -1.
int_t exploreActiveFrontier(int_t* f, int_t size, int_t ploc, NodeMarks& visited);
int_t exploreFrontier(int_t* f, int_t size, int_t ploc, NodeMarks& visited);
int_t exploreFrontier_bfs(int_t* f, int_t size, int_t ploc, NodeMarks& visited);
