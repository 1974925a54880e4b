#!/usr/bin/env bash
# Checks the optimized SC/PC verdict against the baseline one on simulated
# runs: wherever -b finds a cycle, the optimized run finds one too; and, by
# qirn-batch --expect, every stale read that a scan proves is found and clean
# runs pass in both modes.
#
# Usage: run_optimized.sh QIRN_GEN QIRN_BATCH FIRST_SEED LAST_SEED
set -u
gen=$1
batch=$2
first=$3
last=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

# Shapes vary with the seed: 2-8 processors, 8-60 loads and stores, 1-8
# addresses, scans every 2-7 ticks; a third of the seeds are clean, a third
# carry stale reads of any age, a third stale reads that a scan proves.
for seed in $(seq "$first" "$last"); do
  inject=("-v 0" "-v $((1 + seed % 3))" "-t $((1 + seed % 2))")
  # shellcheck disable=SC2086
  "$gen" -s "$seed" -p $((2 + seed % 7)) -n $((8 + seed * 13 % 53)) -a $((1 + seed % 8)) -l 0 \
    -d $((2 + seed % 6)) ${inject[seed % 3]} -o "$scratch/sets/$seed/" >/dev/null || exit 2
done

# Each set's path and verdict, from qirn-batch's JSON lines.
verdicts() {  # json
  sed 's/^{"path":"\([^"]*\)".*"verdict":"\([a-z]*\)".*/\1\t\2/' "$1"
}

for model in SC PC; do
  for mode in -b ""; do
    # shellcheck disable=SC2086
    "$batch" -j 2 --timeout 60 -m "$model" $mode --expect --json "$scratch/$model$mode.json" \
      "$scratch/sets" >"$scratch/out" 2>&1 || {
      echo "FAIL ($model $mode): $(tail -n 1 "$scratch/out")"
      failures=$((failures + 1))
    }
  done
  missed=$(awk -F'\t' 'NR == FNR { base[$1] = $2; next }
    base[$1] == "violation" && $2 != "violation" { print $1 }' \
    <(verdicts "$scratch/$model-b.json") <(verdicts "$scratch/$model.json"))
  echo "$model: $(grep -c '"verdict":"violation"' "$scratch/$model-b.json") sets with a cycle under -b"
  for set in $missed; do
    echo "FAIL ($model): -b finds a cycle, the optimized run does not: $set"
    failures=$((failures + 1))
  done
done
echo "$((last - first + 1)) seeds, $failures failures"
[ "$failures" -eq 0 ]
