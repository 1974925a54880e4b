#!/usr/bin/env bash
# qirn's baseline verdicts under SC, TSO, PSO and WMO against another
# checker's on lock-free runs that qirn-gen simulates with store buffers, with
# and without fences, read-modify-writes, injected stale loads and RMWs made
# to read what another RMW read.
#
# Usage: peer_agreement.sh QIRN QIRN_GEN [SETS]   (default 2000 per model)
#
# The other checker is not part of this project: give its path in
# QIRN_PEER_CHECKER. It is called as `CHECKER check MODEL FILE` on the run
# written with qirn-gen --one-file and must print OK or NO. Without it the
# test is skipped (status 77).
#
# Each set is simulated under TSO and checked under TSO and SC, simulated
# under PSO and checked under PSO and TSO, or simulated under WMO and checked
# under WMO and PSO: the stronger model fails often. Every set is checked
# under WMO too, which keeps the fewest orders. A WMO set's one file gives
# begin and end times, which order its loads before later operations under
# WMO, so qirn reads that file rather than the trace files. Sizes run
# from 2 to 16 processors and up to 625 operations each, mostly small. Half
# the seeds (4-7, 12-15, ...) have RMWs, 5-54% of the accesses, and a third of
# those one RMW made to read what another read (-x 1).
set -u
qirn=$1
gen=$2
sets=${3:-2000}
peer=${QIRN_PEER_CHECKER:-}
if [ -z "$peer" ] || [ ! -x "$peer" ]; then
  echo "QIRN_PEER_CHECKER is not set to an executable: skipped"
  exit 77
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
sizes=(4 8 12 20 30 50 80 160 625)
declare -A runs=() violations=() mismatches=() stronger=([TSO]=SC [PSO]=TSO [WMO]=PSO)
rmw_sets=0

verdict_of_qirn() {  # model input...
  case "$("$qirn" -b -m "$@" 2>&1 | tail -n 2)" in
    *"no cycle!"*) echo OK ;;
    *"find cycle"*) echo NO ;;
    *) echo ERROR ;;
  esac
}

for seed in $(seq 1 "$sets"); do
  for model in TSO PSO WMO; do
    procs=$((2 + seed % 15))
    ops=${sizes[$(( (seed * 7 + ${#model}) % ${#sizes[@]} ))]}
    [ "$ops" -eq 625 ] && [ $((seed % 5)) -ne 0 ] && ops=40
    rmw=()
    if [ $((seed / 4 % 2)) -eq 1 ]; then
      rmw=(-r $((5 + seed * 11 % 50)) -x $((seed % 3 == 0 ? 1 : 0)))
      rmw_sets=$((rmw_sets + 1))
    fi
    rm -f "$scratch"/*
    "$gen" -p "$procs" -n "$ops" -a $((2 + seed % 6)) -l 0 -s "$seed" -m "$model" \
      --fences $(( (seed % 3) * 10 )) -v $((seed % 4 == 0 ? 1 + seed % 3 : 0)) "${rmw[@]}" \
      -o "$scratch/" --one-file "$scratch/one" >/dev/null 2>&1 || {
      echo "qirn-gen failed on seed $seed, $model"
      exit 1
    }
    checks=("$model" "${stronger[$model]}" WMO)
    input=(-p "$procs" -i "$scratch/")
    if [ "$model" = WMO ]; then
      checks=(WMO PSO)
      input=(--trace "$scratch/one")
    fi
    for checked in "${checks[@]}"; do
      ours=$(verdict_of_qirn "$checked" "${input[@]}")
      theirs=$("$peer" check "$checked" "$scratch/one" 2>&1 | tail -n 1)
      key="$model/$checked"
      runs[$key]=$(( ${runs[$key]:-0} + 1 ))
      [ "$theirs" = NO ] && violations[$key]=$(( ${violations[$key]:-0} + 1 ))
      if [ "$ours" != "$theirs" ]; then
        mismatches[$key]=$(( ${mismatches[$key]:-0} + 1 ))
        echo "seed $seed, simulated $model, $procs x $ops: qirn -m $checked says $ours, the peer $theirs"
      fi
    done
  done
done

echo "$rmw_sets of the sets have RMWs"
failed=0
for key in TSO/TSO TSO/SC TSO/WMO PSO/PSO PSO/TSO PSO/WMO WMO/WMO WMO/PSO; do
  echo "simulated ${key%/*}, checked under ${key#*/}: ${runs[$key]:-0} sets," \
    "${violations[$key]:-0} violations, ${mismatches[$key]:-0} mismatches"
  [ "${mismatches[$key]:-0}" -eq 0 ] || failed=1
done
exit $failed
