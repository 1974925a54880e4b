// Baseline SC and PC: the inference of overwrite orders and the cycle check,
// with program order left implicit.
//
// The outcome and every printed byte are those of the stored-arc stages
// (program-order arcs, inference, cycle check): an operation's arcs are
// visited as its stored list would hold them, the inferred arcs newest first,
// then the write-to arcs newest first, then the program-order arcs from the
// processor's last operation down to the next one.
#pragma once

#include <cstddef>

#include "qirn.h"

// Up to how many operations' arcs the printed cycle's walk rebuilds from the
// inference's links before it runs the inference again with logs.
inline constexpr std::size_t kLinkListBudget = 32;

// Needs the write-to arcs in place. Prints the violation, if any, and returns
// 1 when a cycle was found. Whatever the budget, the outcome and the output
// are the same. Under SC and PC the printed cycle is the one that the stages
// give with the older reader rule (add_io_arc_baseline(false)) when they close
// one, else the one of the whole rule.
int_t verify_baseline_order(std::size_t linkListBudget = kLinkListBudget);
