#!/usr/bin/env bash
# Very long traces must run every stage without exhausting the call stack:
# one processor with N1 operations and 16 processors with N16 each, with a
# scan after every operation, under every model.
#
# Usage: depth.sh QIRN_GEN QIRN_BATCH [N1 [N16]]   (defaults 1000000 and 10000)
#
# The call stack only sees how long one processor's trace is, which the
# first shape covers; the second keeps to a size CI can afford in a debug
# build (give 1000000 100000 for the full size).
#
# SC, PC, RC and optimized ScC run on traces with one lock (2% of the
# accesses in sessions), RC in both modes; baseline ScC, whose search is
# exponential in the lock sessions, runs on the same traces without locks,
# which still takes every other stage through them. The traces come from
# sequentially consistent executions, so qirn-batch --expect wants each run
# to pass, as the manifests expect; its lines give the time of each run.
set -u
gen=$1
batch=$2
n1=${3:-1000000}
n16=${4:-10000}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

for shape in "1 $n1" "16 $n16"; do
  read -r procs ops <<<"$shape"
  "$gen" -p "$procs" -n "$ops" -l 1 -c 2 -d 3 -o "$scratch/locked/p$procs/" >/dev/null || exit 2
  "$gen" -p "$procs" -n "$ops" -l 0 -d 3 -o "$scratch/free/p$procs/" >/dev/null || exit 2
done

for run in "locked SC" "locked PC" "locked RC" "locked ScC" "locked RC -b" "free ScC -b"; do
  read -r sets model mode <<<"$run"
  echo "-m $model $mode on the $sets traces:"
  # shellcheck disable=SC2086
  "$batch" -j 1 --timeout 0 -m "$model" $mode --expect "$scratch/$sets" ||
    failures=$((failures + 1))
done
echo "$failures failures"
[ "$failures" -eq 0 ]
