#!/usr/bin/env bash
# Runs the lock-based models in optimized mode on simulated runs too large for
# the reachability matrix (16 processors of 1,300 loads and stores, 1 to 16
# locks), where a direct search for the legal sequence decides alone. Every
# such run is legal, so each must end with its model's pass verdict.
#
# Usage: lock_models_at_scale.sh QIRN QIRN_GEN
set -u
qirn=$1
gen=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

for locks in 1 4 16; do
  rm -f "$scratch"/*
  options="-s $locks -p 16 -n 1300 -a 64 -l $locks"
  # shellcheck disable=SC2086
  "$gen" $options -o "$scratch/" >/dev/null || exit 2
  for model in RC ScC; do
    pass=$([ "$model" = RC ] && echo 'no violation!' || echo 'no cycle!')
    if ! timeout 120 "$qirn" -m "$model" -i "$scratch/" 2>&1 | grep -qx "$pass"; then
      echo "FAIL: $model does not pass: $gen $options -o DIR/ && $qirn -m $model -i DIR/"
      failures=$((failures + 1))
    fi
  done
done
echo "$failures failures"
[ "$failures" -eq 0 ]
