#!/usr/bin/env bash
# Installs the build and test tools that this machine lacks, and nothing else.
# Usage: ensure-tools.sh [--tests | --fuzz]
set -eu
missing=()
command -v g++ >/dev/null 2>&1 || missing+=(g++)
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
command -v make >/dev/null 2>&1 || missing+=(make)
if [ "${1:-}" = "--tests" ]; then
  [ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev)
  command -v diff >/dev/null 2>&1 || missing+=(diffutils)
  command -v groff >/dev/null 2>&1 || missing+=(groff-base)
fi
if [ "${1:-}" = "--fuzz" ]; then
  if ! command -v clang++ >/dev/null 2>&1; then
    missing+=(clang)
  elif ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    clang++ -fsanitize=fuzzer -x c++ - -o /dev/null >/dev/null 2>&1; then
    # clang without its fuzzer runtime, which comes in a versioned package.
    version=$(clang++ -dumpversion | cut -d. -f1)
    missing+=("libclang-rt-$version-dev")
  fi
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi
