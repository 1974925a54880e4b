#!/usr/bin/env bash
# Runs qirn on simulated runs into which qirn-gen planted lock violations
# (-k), one trace set per seed, and wants every run to report a violation.
#
# Usage: lock_violations.sh QIRN QIRN_GEN [FIRST_SEED LAST_SEED]   (default 1 40)
#
# A planted violation breaks the lock rules, and also SC: each one carries a
# chain of program order and reads that puts the overwriting store before
# the stale load without any lock. Half the seeds plant one violation, so
# that each kind is judged alone (the summary names it); the rest plant two
# or three. A run must end with its model's violation verdict, exit with
# status 0 and write nothing on standard error; or, in optimized mode, stop on
# a load that the scans place before the store it read, itself a violation.
set -u
qirn=$1
gen=$2
first=${3:-1}
last=${4:-40}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
declare -A alone

# The models and modes every set is judged under.
runs=("SC -b" "RC" "RC -b" "ScC" "ScC -b")

# 2-16 processors of 5-40 loads and stores, 1-16 locks, 10-90% of the
# accesses in sessions, 2-7 addresses, scans every 1-9 ticks.
gen_options() {
  local seed=$1
  local count=$((seed % 2 == 0 ? 1 : 2 + seed / 2 % 2))
  echo "-s $seed -p $((2 + seed * 5 % 15)) -n $((5 + seed * 7 % 36)) -a $((2 + seed % 6))" \
    "-l $((1 + seed * 3 % 16)) -c $((10 + seed * 13 % 81)) -d $((1 + seed % 9)) -k $count"
}

fail() {  # message
  echo "FAIL: $1"
  echo "  reproduce: $gen $options -o DIR/ && $qirn -p $procs -m $run -i DIR/"
  failures=$((failures + 1))
}

# The verdict a run ended with, when it is a violation.
violation_verdict() {  # model output
  case $1 in
    SC) grep -m1 -x 'find cycle' "$2" ;;
    RC) grep -m1 -x 'has violation!\|before add arc!' "$2" ;;
    ScC) tail -n 3 "$2" | grep -m1 -x 'no path can be found!' ;;
  esac
}

judge() {  # model [mode]
  local out=$scratch/out err=$scratch/err rc
  # shellcheck disable=SC2086
  timeout 60 "$qirn" -p "$procs" -m "$@" -i "$scratch/" >"$out" 2>"$err" </dev/null
  rc=$?
  if [ "$rc" -eq 255 ] && [ "$(cat "$err")" = "Find a write-to consistency violation" ]; then
    return
  elif [ "$rc" -ne 0 ] || [ -s "$err" ]; then
    fail "exit status $rc: $(tail -n 1 "$err")"
  elif [ -z "$(violation_verdict "$1" "$out")" ]; then
    fail "no violation found: $(tail -n 2 "$out" | head -n 1)"
  fi
}

for seed in $(seq "$first" "$last"); do
  rm -f "$scratch"/*
  options=$(gen_options "$seed")
  # shellcheck disable=SC2086
  "$gen" $options -o "$scratch/" >"$scratch/summary" || exit 2
  procs=$(grep -o '^seed [0-9]*: [0-9]*' "$scratch/summary" | cut -d' ' -f3)
  planted=$(grep -c 'of lock [0-9]* (processor' "$scratch/summary")
  if [ "$planted" -ne "${options##*-k }" ]; then
    run="(none)"
    fail "$planted lock violations planted"
    continue
  fi
  if [ "$planted" -eq 1 ]; then
    kind=$(grep -o 'a stale read in a session\|the middle of a session' "$scratch/summary")
    alone[$kind]=$((${alone[$kind]:-0} + 1))
  fi
  for run in "${runs[@]}"; do
    # shellcheck disable=SC2086
    judge $run
  done
done

for kind in "a stale read in a session" "the middle of a session"; do
  echo "judged alone: $kind: ${alone[$kind]:-0} sets"
  [ "${alone[$kind]:-0}" -gt 0 ] || { echo "FAIL: no set holds $kind alone"; failures=$((failures + 1)); }
done
echo "$failures failures"
[ "$failures" -eq 0 ]
