#!/usr/bin/env bash
# Legal simulated runs of the lock-based models too large for the
# reachability matrix, so qirn-batch --expect wants each to pass, within a
# limit far below what the searches would take without their shortcuts:
# - optimized, 16 processors of 1,300 loads and stores, 1 to 16 locks, where
#   a direct search for the legal sequence decides alone;
# - baseline, 16 processors of 160 loads and stores with many sessions of one
#   lock (about 4,100 nodes, beyond the pair search): without the time order
#   of bound files only the sequence search finds the order of the sessions,
#   and without its deadlock check it runs out of its budget and leaves the
#   run to the exponential searches. (A store or acquire taken too early
#   holds its address or lock while what it waits for can never run.)
# - baseline, 16 processors of 625 loads and stores with 1, 4 and 16 locks:
#   the sequence search ranked by height runs out of its budget there, and
#   only the one ranked by program order finds the sequence in time; without
#   it the run is left to the frontier search, which gives no answer.
# - baseline, 16 processors of 250 loads and stores with one stale load
#   outside the sessions: legal, but not sequentially consistent, so the
#   chains of program order close cycles that the ranking must take its
#   operations out of (seed 1 in the chained graph itself, seed 4 in an
#   inference pass).
# - baseline, 16 processors of 300 loads and stores with 90% of them in
#   sessions of 1 or 4 locks: the search ranked by program order makes a
#   wrong choice that only shows thousands of choices later and runs out of
#   its budget; only the inference's refutation of its stalled states finds
#   the sequence.
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
for seed in 1 6; do
  "$gen" -s "$seed" -p 16 -n 160 -a 64 -l 1 -o "$scratch/one-lock/$seed/" >/dev/null || exit 2
done
for locks in 1 4 16; do
  "$gen" -s 1 -p 16 -n 625 -a 64 -l "$locks" -o "$scratch/baseline/$locks/" >/dev/null || exit 2
done
for seed in 1 4; do
  "$gen" -s "$seed" -p 16 -n 250 -a 64 -l 1 -v 1 -o "$scratch/stale/$seed/" >/dev/null || exit 2
done
for set in "1 4" "4 2"; do
  read -r locks seed <<<"$set"
  "$gen" -s "$seed" -p 16 -n 300 -a 64 -l "$locks" -c 90 -o "$scratch/crowded/$locks/" >/dev/null ||
    exit 2
done
for model in RC ScC; do
  "$batch" -j 2 --timeout 120 -m "$model" --expect "$scratch/sets" || failures=$((failures + 1))
  "$batch" -j 2 --timeout 30 -m "$model" -b --expect "$scratch/one-lock" ||
    failures=$((failures + 1))
  "$batch" -j 2 --timeout 120 -m "$model" -b --expect "$scratch/baseline" ||
    failures=$((failures + 1))
  "$batch" -j 2 --timeout 60 -m "$model" -b --expect "$scratch/stale" || failures=$((failures + 1))
  "$batch" -j 2 --timeout 120 -m "$model" -b --expect "$scratch/crowded" ||
    failures=$((failures + 1))
done
echo "$failures failures"
[ "$failures" -eq 0 ]
