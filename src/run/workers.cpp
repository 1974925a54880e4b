#include "run/workers.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

int_t worker_count() {
  if (state->threads > 0) return state->threads;
  return static_cast<int_t>(std::max(1U, std::thread::hardware_concurrency()));
}

void for_each_processor(const std::function<void(int_t)>& work) {
  const int_t processors = state->NPROCESSOR;
  const int_t threads = std::min(worker_count(), processors);
  if (threads <= 1) {
    for (int_t p = 0; p < processors; ++p) work(p);
    return;
  }
  std::vector<std::exception_ptr> failures(static_cast<std::size_t>(processors));
  std::atomic<int_t> next{0};
  RunState& run = *state;
  const auto worker = [&] {
    const RunScope scope(run);
    for (int_t p = next++; p < processors; p = next++) {
      try {
        work(p);
      } catch (...) {
        failures[static_cast<std::size_t>(p)] = std::current_exception();
      }
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (int_t t = 1; t < threads; ++t) helpers.emplace_back(worker);
  } catch (const std::system_error&) {
    // A thread the system cannot start: the others share its processors.
  }
  worker();
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& failure : failures) {
    if (failure) std::rethrow_exception(failure);
  }
}
