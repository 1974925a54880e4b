// Scope consistency verdict: the frontier search for a global order of
// in-session stores and lock sessions.
#pragma once

#include "qirn.h"

int_t verificationAlgorithm();
