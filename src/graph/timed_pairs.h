// Whether the time bounds order any two operations at all.
//
// When they order none, every walk that consults the timed-before test
// behaves exactly as in baseline mode, and the cheaper baseline answers
// (strong components, the reachability closure) may stand in for it.
#pragma once

#include "qirn.h"

// true when check_TO answers 1 for some two operations of the graph; always
// false in baseline mode.
bool any_timed_pair();
