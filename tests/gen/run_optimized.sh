#!/usr/bin/env bash
# Checks the optimized SC/PC verdict against the baseline one on simulated
# runs: wherever -b finds a cycle, the optimized run finds one too; every
# stale read that a scan proves is found; clean runs pass in both modes.
#
# Usage: run_optimized.sh QIRN QIRN_GEN FIRST_SEED LAST_SEED
set -u
qirn=$1
gen=$2
first=$3
last=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
checked=0

# Shapes vary with the seed: 2-8 processors, 8-60 loads and stores, 1-8
# addresses, scans every 2-7 ticks; a third of the seeds are clean, a third
# carry stale reads of any age, a third stale reads that a scan proves.
gen_options() {
  local seed=$1
  local procs=$((2 + seed % 7))
  local kind=$((seed % 3))
  local inject="-v 0"
  ((kind == 1)) && inject="-v $((1 + seed % 3))"
  ((kind == 2)) && inject="-t $((1 + seed % 2))"
  echo "-s $seed -p $procs -n $((8 + seed * 13 % 53)) -a $((1 + seed % 8)) -l 0" \
    "-d $((2 + seed % 6)) $inject"
}

cycle() {  # model mode...
  timeout 60 "$qirn" -p "$procs" -m "$@" -i "$scratch/" 2>&1 | grep -c '^Find a'
}

for seed in $(seq "$first" "$last"); do
  rm -f "$scratch"/*
  options=$(gen_options "$seed")
  # shellcheck disable=SC2086
  injected=$("$gen" $options -o "$scratch/" | grep -c '^injected:')
  procs=$(ls "$scratch"/tfres.* | wc -l)
  for model in SC PC; do
    base=$(cycle "$model" -b)
    optimized=$(cycle "$model")
    checked=$((checked + 1))
    problem=""
    if [ "$base" -gt 0 ] && [ "$optimized" -eq 0 ]; then
      problem="-b finds a cycle, the optimized run does not"
    elif [[ $options == *"-t "* ]] && [ "$injected" -gt 0 ] && [ "$optimized" -eq 0 ]; then
      problem="a stale read that a scan proves is not found"
    elif [[ $options == *"-v 0"* ]] && [ $((base + optimized)) -gt 0 ]; then
      problem="a clean run gives a cycle"
    fi
    if [ -n "$problem" ]; then
      echo "FAIL ($model): $problem: qirn-gen $options"
      failures=$((failures + 1))
    fi
  done
done
echo "$checked runs checked, $failures failures"
[ "$failures" -eq 0 ]
