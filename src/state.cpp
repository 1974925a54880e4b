#include "qirn.h"

RunState state;

void reset_run_state() {
  state = RunState{};
}
