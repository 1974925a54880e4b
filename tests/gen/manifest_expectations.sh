#!/usr/bin/env bash
# Checks the expectations that qirn-gen writes into each set's manifest.json
# against qirn's verdicts: trace sets of every kind (nothing injected, stale
# loads of -v, time-proven stale loads of -t, planted lock violations of -k,
# and -t with -k) are verified by qirn-batch --expect under every model and
# mode, which must find every verdict as expected.
#
# Usage: manifest_expectations.sh QIRN_GEN QIRN_BATCH FIRST_SEED LAST_SEED
set -u
gen=$1
batch=$2
first=$3
last=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

# 2-4 processors of 3-9 loads and stores, 1-4 addresses, no lock to two
# locks, scans every 1-9 ticks: small enough for the exponential RC and ScC
# searches.
shape() {  # seed
  local seed=$1
  echo "-s $seed -p $((2 + seed % 3)) -n $((3 + seed * 7 % 7)) -a $((1 + seed / 3 % 4))" \
    "-l $((seed / 2 % 3)) -c $((20 + seed * 13 % 60)) -d $((1 + seed % 9))"
}

declare -A kinds=([clean]="" [stale]="-v 2" [timed]="-t 2" [lock]="-a 2 -l 1 -k 1"
  [timed-lock]="-t 1 -a 2 -l 2 -k 2")

for seed in $(seq "$first" "$last"); do
  for kind in "${!kinds[@]}"; do
    # shellcheck disable=SC2046,SC2086
    "$gen" $(shape "$seed") ${kinds[$kind]} -o "$scratch/sets/$kind/$seed/" >/dev/null || exit 2
  done
done

for model in SC PC RC ScC; do
  for mode in "" -b; do
    # shellcheck disable=SC2086
    "$batch" -j 2 --timeout 60 -m "$model" $mode --expect --json "$scratch/results.json" \
      --junit "$scratch/results.xml" "$scratch/sets" >"$scratch/out" 2>&1
    status=$?
    if [ "$status" -ne 0 ]; then
      echo "FAIL: $model $mode: status $status: $(tail -n 1 "$scratch/out")"
      grep -o 'message="[^"]*"\|regenerate: [^<]*' "$scratch/results.xml" | head -n 20
      failures=$((failures + 1))
    fi
  done
done
echo "$((last - first + 1)) seeds, ${#kinds[@]} kinds, $failures failures"
[ "$failures" -eq 0 ]
