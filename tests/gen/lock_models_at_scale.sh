#!/usr/bin/env bash
# Runs the lock-based models in optimized mode on simulated runs too large for
# the reachability matrix (16 processors of 1,300 loads and stores, 1 to 16
# locks), where a direct search for the legal sequence decides alone. Every
# such run is legal, so qirn-batch --expect wants each to pass.
#
# Usage: lock_models_at_scale.sh QIRN_GEN QIRN_BATCH
set -u
gen=$1
batch=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

for locks in 1 4 16; do
  "$gen" -s "$locks" -p 16 -n 1300 -a 64 -l "$locks" -o "$scratch/sets/$locks/" >/dev/null || exit 2
done
for model in RC ScC; do
  "$batch" -j 2 --timeout 120 -m "$model" --expect "$scratch/sets" || failures=$((failures + 1))
done
echo "$failures failures"
[ "$failures" -eq 0 ]
