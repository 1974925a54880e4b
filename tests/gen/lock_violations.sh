#!/usr/bin/env bash
# Runs qirn on simulated runs into which qirn-gen planted lock violations
# (-k), one trace set per seed, and wants every run to report a violation:
# qirn-batch --expect holds each verdict under SC (baseline), RC and ScC
# (both modes) to the set's manifest, which expects a violation there.
#
# Usage: lock_violations.sh QIRN_GEN QIRN_BATCH [FIRST_SEED LAST_SEED]   (default 1 40)
#
# A planted violation breaks the lock rules, and also SC: each one carries a
# chain of program order and reads that puts the overwriting store before
# the stale load without any lock. Half the seeds plant one violation, so
# that each kind is judged alone (the summary names it); the rest plant two
# or three. In optimized mode a stop on a load that the scans place before
# the store it read is a violation too.
set -u
gen=$1
batch=$2
first=${3:-1}
last=${4:-40}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
alone=""

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# 2-16 processors of 5-40 loads and stores, 1-16 locks, 10-90% of the
# accesses in sessions, 2-7 addresses, scans every 1-9 ticks.
for seed in $(seq "$first" "$last"); do
  count=$((seed % 2 == 0 ? 1 : 2 + seed / 2 % 2))
  "$gen" -s "$seed" -p $((2 + seed * 5 % 15)) -n $((5 + seed * 7 % 36)) -a $((2 + seed % 6)) \
    -l $((1 + seed * 3 % 16)) -c $((10 + seed * 13 % 81)) -d $((1 + seed % 9)) -k "$count" \
    -o "$scratch/sets/$seed/" >"$scratch/summary" || exit 2
  planted=$(grep -c 'of lock [0-9]* (processor' "$scratch/summary")
  [ "$planted" -eq "$count" ] || fail "seed $seed: $planted lock violations planted, not $count"
  [ "$count" -eq 1 ] && alone+=$(grep -o 'a stale read in a session\|the middle of a session' \
    "$scratch/summary")$'\n'
done

for run in "SC -b" "RC" "RC -b" "ScC" "ScC -b"; do
  # shellcheck disable=SC2086
  "$batch" -j 2 --timeout 60 -m $run --expect --junit "$scratch/results.xml" "$scratch/sets" \
    >"$scratch/out" 2>&1 ||
    fail "$run: $(tail -n 1 "$scratch/out")" \
      "$(grep -o 'message="[^"]*"\|regenerate: [^<]*' "$scratch/results.xml" | head -n 20)"
done

for kind in "a stale read in a session" "the middle of a session"; do
  echo "judged alone: $kind: $(grep -cx "$kind" <<<"$alone") sets"
  grep -qx "$kind" <<<"$alone" || fail "no set holds $kind alone"
done
echo "$((last - first + 1)) seeds, $failures failures"
[ "$failures" -eq 0 ]
