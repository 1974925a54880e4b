#!/usr/bin/env bash
# Builds qirn with its tests and runs the whole suite (unit and end-to-end).
# Usage: test.sh [--sanitize] [--threads] [--werror] [--slow]
#   --sanitize  build in build-sanitize/ with AddressSanitizer and UBSan
#   --threads   build in build-threads/ with ThreadSanitizer and run only the
#               checks that run in several threads at once (label "threads")
#   --werror    treat compiler warnings as errors
#   --slow      run only the slow tests (label "slow"), which the suite skips
set -eu
cd "$(dirname "$0")/.."
dir=build-test
flags=(-DCMAKE_BUILD_TYPE=Debug)
labels=(-LE slow)
for arg in "$@"; do
  case "$arg" in
    --slow) labels=(-L slow) ;;
    --sanitize) dir=build-sanitize; flags+=(-DQIRN_SANITIZE=ON) ;;
    --threads) dir=build-threads; flags+=(-DQIRN_TSAN=ON); labels=(-L threads) ;;
    --werror) flags+=(-DQIRN_WERROR=ON) ;;
    *) echo "unknown option: $arg" >&2; exit 2 ;;
  esac
done
scripts/ensure-tools.sh --tests
cmake -S . -B "$dir" "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" "${labels[@]}"
