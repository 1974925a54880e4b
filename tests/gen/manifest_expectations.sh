#!/usr/bin/env bash
# Checks the expectations that qirn-gen writes into each set's manifest.json
# against qirn's verdicts: qirn-batch --expect verifies every set under each
# model its manifest lists, in both modes, and must find every verdict as
# expected ("any" takes a pass or a violation, never an error).
#
# Kinds: nothing injected, stale loads of -v, time-proven stale loads of -t,
# one planted lock violation of -k judged alone (on six processors and five
# locks), -t with -k, RMWs of -r, and RMWs with a pair made to read one store
# (-x); each in runs written as
# before store buffers (SC without fences) and, on the first BUFFERED seeds,
# in runs simulated under TSO, PSO and WMO (fences on half the seeds) and
# under SC with fences; WMO runs, whose manifests also list WMO, apart.
# Buffered runs without locks are also written with --one-file, where
# qirn -b --trace must give the verdicts of the trace files (but under WMO
# for a WMO run, whose one file adds the times that order it). Wherever
# SC, PC or WMO -b finds a cycle, the optimized run must find one too. Also
# checks that --one-file is refused, with status 2 and no file written, for
# a run with lock sessions.
#
# Usage: manifest_expectations.sh QIRN QIRN_GEN QIRN_BATCH FIRST_SEED LAST_SEED BUFFERED
set -u
qirn=$1
gen=$2
batch=$3
first=$4
last=$5
buffered=$6

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
ones=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

"$gen" -p 2 -n 4 -l 1 -c 100 --one-file "$scratch/one" -o "$scratch/refused/" >/dev/null \
  2>"$scratch/err"
status=$?
[ "$status" -eq 2 ] && grep -q "give -l 0" "$scratch/err" ||
  fail "--one-file with lock sessions: status $status: $(cat "$scratch/err")"
[ ! -e "$scratch/one" ] && [ ! -e "$scratch/refused" ] || fail "--one-file refused but wrote files"
mkdir "$scratch/one"

# 2-4 processors of 3-9 loads and stores, 1-4 addresses, no lock to two
# locks, scans every 1-9 ticks: small enough for the exponential RC and ScC
# searches.
shape() {  # seed
  local seed=$1
  echo "-s $seed -p $((2 + seed % 3)) -n $((3 + seed * 7 % 7)) -a $((1 + seed / 3 % 4))" \
    "-l $((seed / 2 % 3)) -c $((20 + seed * 13 % 60)) -d $((1 + seed % 9))"
}

declare -A kinds=([clean]="" [stale]="-v 2" [timed]="-t 2" [lock]="-p 6 -a 4 -l 5 -k 1"
  [timed-lock]="-t 1 -a 2 -l 2 -k 2" [rmw]="-r 30" [rmw-pair]="-r 30 -x 1")

for seed in $(seq "$first" "$last"); do
  for kind in "${!kinds[@]}"; do
    options="$(shape "$seed") ${kinds[$kind]}"
    # shellcheck disable=SC2086
    "$gen" $options -o "$scratch/before/$kind-$seed/" >/dev/null || exit 2
    [ $((seed - first)) -lt "$buffered" ] || continue
    for model in SC TSO PSO WMO; do
      name=$model-$kind-$seed
      fences=$((10 + seed % 30))
      [ "$model" != SC ] && [ $((seed % 2)) -eq 0 ] && fences=0
      one=()
      [[ $options == *"-l 0 "* && $kind != *lock ]] && one=(--one-file "$scratch/one/$name")
      # shellcheck disable=SC2086
      folder=buffered
      [ "$model" = WMO ] && folder=weak
      "$gen" $options -m "$model" --fences "$fences" -o "$scratch/$folder/$name/" "${one[@]}" \
        >/dev/null || exit 2
    done
  done
done

# Each set's path and verdict, from qirn-batch's JSON lines.
verdicts() {  # json
  sed 's/^{"path":"\([^"]*\)".*"verdict":"\([a-z]*\)".*/\1\t\2/' "$1"
}

# The one files of the sets that qirn-batch's JSON lines name must give
# their sets' verdicts.
check_one_files() {  # model
  while IFS=$'\t' read -r path verdict; do
    local one=$scratch/one/${path##*/}
    [ -f "$one" ] || continue
    [[ $1 == WMO && ${path##*/} == WMO-* ]] && continue
    "$qirn" -b -m "$1" --trace "$one" --json "$scratch/one.json" >/dev/null 2>&1
    grep -q "\"verdict\": \"$verdict\"" "$scratch/one.json" ||
      fail "$path: $1 on the one file: $(cat "$scratch/one.json")"
    ones=$((ones + 1))
  done < <(verdicts "$scratch/results.json")
}

# The bound files only add order, so the optimized run finds a cycle
# wherever -b does.
check_optimized_finds_baseline_cycles() {  # model
  local missed
  missed=$(awk -F'\t' 'NR == FNR { optimized[$1] = $2; next }
    $2 == "violation" && optimized[$1] != "violation" { print $1 }' \
    <(verdicts "$scratch/optimized.json") <(verdicts "$scratch/results.json"))
  [ -z "$missed" ] || fail "$1: -b finds a cycle, the optimized run does not: $missed"
}

check() {  # folder models...
  local sets=$1
  shift
  for model in "$@"; do
    for mode in "" -b; do
      # shellcheck disable=SC2086
      "$batch" -j 2 --timeout 60 -m "$model" $mode --expect --json "$scratch/results.json" \
        --junit "$scratch/results.xml" "$sets" >"$scratch/out" 2>&1
      status=$?
      if [ "$status" -ne 0 ]; then
        fail "${sets##*/} $model $mode: status $status: $(tail -n 1 "$scratch/out")"
        grep -o 'message="[^"]*"\|regenerate: [^<]*' "$scratch/results.xml" | head -n 20
      fi
      [ "$mode" = -b ] || { cp "$scratch/results.json" "$scratch/optimized.json" && continue; }
      check_one_files "$model"
      [[ $model == [SP]C || $model == WMO ]] && check_optimized_finds_baseline_cycles "$model"
    done
  done
}

check "$scratch/before" SC PC RC ScC
if [ "$buffered" -gt 0 ]; then
  check "$scratch/buffered" SC PC RC ScC TSO PSO
  check "$scratch/weak" SC PC RC ScC TSO PSO WMO
fi
echo "$((last - first + 1)) seeds, ${#kinds[@]} kinds, $buffered seeds buffered," \
  "$ones one-file runs, $failures failures"
[ "$failures" -eq 0 ]
