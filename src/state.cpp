#include <utility>

#include "qirn.h"

// Constant-initialised, so that reaching the state costs one thread-local
// load and no initialisation check.
constinit thread_local RunState* state = nullptr;

void reset_run_state() {
  if (state == nullptr) {
    thread_local RunState own;
    state = &own;
  }
  RunState fresh;
  *state = std::move(fresh);
}

const char* model_name(MCM_t model) {
  static const char* const kNames[] = {"SC", "PC", "RC", "ScC", "TSO", "PSO", "WMO"};
  return kNames[model];
}
