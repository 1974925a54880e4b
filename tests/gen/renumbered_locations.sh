#!/usr/bin/env bash
# Renumbering addresses and locks must not change a run, as long as their
# order is kept: per-address and per-lock tables hold only the numbers in use.
#
# Usage: renumbered_locations.sh QIRN QIRN_GEN
#
# Every address n in qirn-gen's traces is replaced by the number written "1n"
# (0 -> 10, 7 -> 17, 12 -> 112), which keeps their order and leaves gaps; so
# is every lock but lock 0, which the session count and the one-lock searches
# single out. The run on the renumbered traces must print what the run
# on the originals prints with the same renumbering applied to the printed
# operations, apart from the two lines that give the largest number plus one.
set -u
qirn=$1
gen=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

renumber_traces() {  # from to
  for trace in "$1"/tfres.*; do
    sed -E 's/^(load|store) +([0-9]+)/\1 1\2/; s/^(acquire|release) +([1-9][0-9]*)/\1 1\2/' \
      "$trace" >"$2/${trace##*/}"
  done
  cp "$1"/boundgt.* "$2"/
}

renumber_output() {
  sed -E 's/(L|S)\[([0-9]+)\]/\1[1\2]/g; s/(Acquire|Release) ([1-9][0-9]*)/\1 1\2/g' "$1"
}

comparable() {
  grep -v -E '^the number of (addresses|locks) is ' | sed -E 's/Time used = [0-9.]+/Time used/'
}

failures=0
runs=0
for seed in $(seq 1 24); do
  original=$scratch/$seed/original
  renumbered=$scratch/$seed/renumbered
  mkdir -p "$original" "$renumbered"
  procs=$((2 + seed % 3))
  locks=$((seed % 3))
  operations=$((locks > 1 ? 4 : 6 + seed % 8))
  "$gen" -s "$seed" -p "$procs" -n "$operations" -a $((2 + seed % 4)) -l "$locks" \
    -v $((seed % 3 == 0)) -o "$original/" >/dev/null || exit 2
  renumber_traces "$original" "$renumbered"
  for model in SC PC RC ScC; do
    for mode in "" -b; do
      for dir in "$original" "$renumbered"; do
        # shellcheck disable=SC2086
        timeout 20 "$qirn" -p "$procs" -m "$model" $mode -i "$dir/" >"$dir/out" 2>"$dir/err"
        echo $? >>"$dir/out"
      done
      runs=$((runs + 1))
      if ! diff <(renumber_output "$original/out" | comparable) \
        <(comparable <"$renumbered/out") >/dev/null ||
        ! cmp -s "$original/err" "$renumbered/err"; then
        echo "FAIL: seed $seed, -p $procs -m $model $mode: the renumbered run differs"
        diff <(renumber_output "$original/out" | comparable) <(comparable <"$renumbered/out")
        failures=$((failures + 1))
      fi
    done
  done
done
echo "$runs pairs of runs, $failures failures"
[ "$failures" -eq 0 ]
