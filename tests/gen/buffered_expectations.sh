#!/usr/bin/env bash
# Checks the expectations that qirn-gen's manifests give for runs simulated
# under TSO, PSO and SC, with fences on half the seeds: every set is verified
# by qirn under each model its manifest lists, in both modes, and each
# verdict must be the one expected ("any" takes a pass or a violation, never an error).
# Kinds: nothing injected, stale loads of -v (older than the processor's own
# store), time-proven stale loads of -t and planted lock violations of -k.
# Runs without locks are also written with --one-file, and qirn --trace must
# give the baseline verdicts of the trace files on it. Also checks that
# --one-file is refused, with status 2 and no file written, for a run with
# lock sessions.
#
# Usage: buffered_expectations.sh QIRN QIRN_GEN FIRST_SEED LAST_SEED
set -u
qirn=$1
gen=$2
first=$3
last=$4

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
sets=0
ones=0

fail() {
  echo "FAIL: $1"
  failures=$((failures + 1))
}

"$gen" -p 2 -n 4 -l 1 -c 100 --one-file "$scratch/one" -o "$scratch/refused/" >/dev/null \
  2>"$scratch/err"
status=$?
[ "$status" -eq 2 ] || fail "--one-file with lock sessions: status $status"
grep -q "give -l 0" "$scratch/err" || fail "--one-file with lock sessions: $(cat "$scratch/err")"
[ ! -e "$scratch/one" ] && [ ! -e "$scratch/refused" ] || fail "--one-file refused but wrote files"

# 2-3 processors of 3-8 loads and stores, 1-3 addresses, no lock or one,
# fences on half the seeds: small enough for the RC and ScC searches.
shape() {  # seed
  local seed=$1
  echo "-s $seed -p $((2 + seed % 2)) -n $((3 + seed * 7 % 6)) -a $((1 + seed / 2 % 3))" \
    "-l $((seed / 3 % 2)) -c $((30 + seed * 13 % 50)) -d $((1 + seed % 7))" \
    "--fences $((seed % 2 * (10 + seed % 30)))"
}

declare -A kinds=([clean]="" [stale]="-v 1" [timed]="-t 2" [lock]="-a 2 -l 1 -k 1")

# The expected verdict of every model and mode, one "MODEL MODE VERDICT" per line.
expectations() {  # manifest
  sed -n 's/^  "expected": {\(.*\)}$/\1/p' "$1" | grep -o '"[A-Za-z]*": {[^}]*}' |
    sed 's/"\([A-Za-z]*\)": {"optimized": "\([a-z]*\)", "baseline": "\([a-z]*\)"}/\1 optimized \2\n\1 baseline \3/'
}

for seed in $(seq "$first" "$last"); do
  for model in SC TSO PSO; do
    for kind in "${!kinds[@]}"; do
      dir="$scratch/$model-$kind-$seed/"
      options="$(shape "$seed") ${kinds[$kind]}"
      one=()
      [[ $options == *"-l 0 "* && $kind != lock ]] && one=(--one-file "$scratch/one")
      rm -f "$scratch/one"
      # shellcheck disable=SC2086
      "$gen" $options -m "$model" -o "$dir" "${one[@]}" >/dev/null || exit 2
      processors=$(ls "$dir" | grep -c '^tfres\.')
      sets=$((sets + 1))
      while read -r checked mode expected; do
        flags=(-p "$processors" -m "$checked" -i "$dir" --json "$scratch/verdict.json")
        [ "$mode" = baseline ] && flags+=(-b)
        "$qirn" "${flags[@]}" >/dev/null 2>&1
        verdict=$(grep -o '"verdict": "[a-z]*"' "$scratch/verdict.json" | cut -d'"' -f4)
        if [ "$mode" = baseline ] && [ ${#one[@]} -gt 0 ]; then
          "$qirn" -b -m "$checked" --trace "$scratch/one" --json "$scratch/one.json" >/dev/null 2>&1
          grep -q "\"verdict\": \"$verdict\"" "$scratch/one.json" ||
            fail "$dir: $checked on the one file: $(cat "$scratch/one.json")"
          ones=$((ones + 1))
        fi
        case "$expected:$verdict" in
          pass:pass | violation:violation | any:pass | any:violation) ;;
          *) fail "$(grep -o '"command": "[^"]*"' "$dir/manifest.json"): $checked $mode:" \
            "expected $expected, got $verdict" ;;
        esac
      done < <(expectations "$dir/manifest.json")
    done
  done
done
echo "$sets sets, $ones one-file runs, $failures failures"
[ "$failures" -eq 0 ]
