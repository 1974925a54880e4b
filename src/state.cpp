#include <utility>

#include "qirn.h"

RunState state;

void reset_run_state() {
  RunState fresh;
  state = std::move(fresh);
}
