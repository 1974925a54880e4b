#include "qirn.h"

#include <utility>

RunState state;

void reset_run_state() {
  RunState fresh;
  state = std::move(fresh);
}
