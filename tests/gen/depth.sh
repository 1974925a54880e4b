#!/usr/bin/env bash
# Very long traces must run every stage without exhausting the call stack:
# one processor with N1 operations and 16 processors with N16 each, with a
# scan after every operation, under every model.
#
# Usage: depth.sh QIRN QIRN_GEN [N1 [N16]]   (defaults 1000000 and 10000)
#
# The call stack only sees how long one processor's trace is, which the
# first shape covers; the second keeps to a size CI can afford in a debug
# build (give 1000000 100000 for the full size).
#
# SC, PC, RC and optimized ScC run on traces with one lock (2% of the
# accesses in sessions), RC in both modes; baseline ScC, whose search is
# exponential in the lock sessions, runs on the same traces without locks,
# which still takes every other stage through them.
# The traces come from sequentially consistent executions, so each run must
# end with status 0, nothing on standard error, and a verdict that finds no
# violation.
set -u
qirn=$1
gen=$2
n1=${3:-1000000}
n16=${4:-10000}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
TIMEFORMAT='%R s'

check() {  # procs prefix model [mode]
  local out=$scratch/out err=$scratch/err
  echo "-p $1 -m $3 $4 on ${2##*/}:"
  time "$qirn" -p "$1" -m "$3" $4 -i "$2" >"$out" 2>"$err"
  local rc=$? verdict
  verdict=$(grep -E '^(no cycle!|find cycle|no violation!|has violation!|no path can be found!)$' "$out")
  if [ "$3" = RC ] && [ -z "$verdict" ] && grep -q '^Time used' "$out"; then
    verdict="no sessions"
  fi
  case "$rc:$verdict" in
    "0:no cycle!" | "0:no violation!" | "0:no sessions") [ -s "$err" ] || return 0 ;;
  esac
  echo "FAIL: status $rc, verdict '$verdict'"
  head -c 2000 "$err"
  failures=$((failures + 1))
}

for shape in "1 $n1" "16 $n16"; do
  read -r procs ops <<<"$shape"
  locked=$scratch/p$procs-lock-
  free=$scratch/p$procs-free-
  "$gen" -p "$procs" -n "$ops" -l 1 -c 2 -d 3 -o "$locked" >/dev/null || exit 2
  "$gen" -p "$procs" -n "$ops" -l 0 -d 3 -o "$free" >/dev/null || exit 2
  for model in SC PC RC ScC; do check "$procs" "$locked" "$model" ""; done
  check "$procs" "$locked" RC -b
  check "$procs" "$free" ScC -b
  rm -f "$locked"* "$free"*
done
echo "$failures failures"
[ "$failures" -eq 0 ]
