#include <utility>

#include "qirn.h"

RunState state;

void reset_run_state() {
  RunState fresh;
  state = std::move(fresh);
}

const char* model_name(MCM_t model) {
  static const char* const kNames[] = {"SC", "PC", "RC", "ScC", "TSO", "PSO"};
  return kNames[model];
}
