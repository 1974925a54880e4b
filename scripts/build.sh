#!/usr/bin/env bash
# Builds qirn and its tools (qirn-gen, qirn-batch, qirn-shrink, qirn-witness) into build/
set -eu
cd "$(dirname "$0")/.."
scripts/ensure-tools.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j "$(nproc)"
