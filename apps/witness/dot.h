// A found cycle as a Graphviz graph.
#pragma once

#include <string>

#include "locks/lock_core.h"
#include "qirn.h"

namespace qirn_witness {

// One column per processor holding, in program order, the operations on the
// cycle and their neighbours in program order, each labelled as qirn prints
// it. Program order is drawn grey (dotted where operations are left out);
// every cycle arc is red and labelled with its tag, time links dashed.
std::string render_dot(const FoundCycle& cycle);

// A set of operations that admits no order: one column per processor holding
// them in program order (grey, dotted where operations are left out), and
// every arc each order of them keeps, red and labelled with its tag, time
// links dashed.
std::string render_core_dot(const FoundCore& core);

}  // namespace qirn_witness
