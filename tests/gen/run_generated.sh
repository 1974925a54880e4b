#!/usr/bin/env bash
# Runs qirn on trace sets that qirn-gen simulates, under every model and in
# both modes, and checks that each run ends cleanly with a verdict.
#
# Usage: run_generated.sh QIRN QIRN_GEN
#
# A run must exit with status 0, write nothing on standard error and end with
# its model's closing lines and verdict. Traces without injected violations
# come from sequentially consistent executions in which the sessions of one
# lock never overlap, so every model must pass them: "no cycle!" or
# "no violation!". Verdicts are tallied at the end.
set -u
qirn=$1
gen=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
declare -A tally

# qirn-gen options for one seed: 2-4 processors with 4-16 loads and stores
# each (fewer on more processors), no locks, one lock or two locks, and a
# violation on a quarter of the seeds; the choices vary independently over
# the seeds. The RC and ScC searches are exponential, the baseline ScC search
# over several locks most of all, so two-lock traces hold 3-5 loads and
# stores per processor.
gen_options() {
  local seed=$1
  local procs=$((2 + seed % 3))
  local locks=(0 1 1 2)
  local lock_count=${locks[seed / 4 % 4]}
  local operations=$((4 + seed * 7 % (32 / procs - 3)))
  ((lock_count > 1)) && operations=$((3 + seed % 3))
  echo "-s $seed -p $procs -n $operations -a $((1 + seed / 3 % 4)) -l $lock_count" \
    "-c $((20 + seed * 13 % 50)) -d $((2 + seed % 9)) -v $((seed % 4 == 1))"
}

fail() {  # message
  echo "FAIL: $1"
  echo "  reproduce: $gen $options -o DIR/ && qirn -p $procs -m $model $mode -i DIR/"
  printf '  out: %s\n' "${out[@]}"
  sed 's/^/  err: /' "$run.err"
  failures=$((failures + 1))
}

# Sets the verdict of a finished run and checks the lines that close it.
check_ending() {
  local n=${#out[@]}
  [ "$n" -ge 3 ] || return 1
  local last=${out[n - 1]}
  verdict=${out[n - 2]}
  case $model in
    SC | PC)
      [ "$last" = "Count of choosing edge: 0" ] &&
        { [ "$verdict" = "no cycle!" ] || [ "$verdict" = "find cycle" ]; } ;;
    RC)
      # A cycle before the pairing search ends the run at once.
      if [ "$last" = "before add arc!" ]; then
        verdict=$last
        return 0
      fi
      [[ $last == "Time used = "* ]] && case $verdict in
        "no violation!" | "has violation!") true ;;
        *) false ;;
      esac ;;
    ScC)
      verdict=${out[n - 3]}
      [[ $last == "Count of choosing edge: "* ]] && [[ ${out[n - 2]} == "Time used = "* ]] &&
        { [ "$verdict" = "no cycle!" ] || [ "$verdict" = "no path can be found!" ]; } ;;
  esac
}

check_run() {
  local rc
  rc=$(<"$run.rc")
  if [ "$rc" -eq 124 ]; then
    fail "no answer within 20 s"
    return
  elif [ "$rc" -ne 0 ] || [ -s "$run.err" ]; then
    fail "exit status $rc, $(wc -l <"$run.err") lines on standard error"
    return
  elif ! check_ending; then
    fail "the output does not end with a verdict"
    return
  fi
  local key="$model${mode:+ $mode} $kind: $verdict"
  tally[$key]=$((${tally[$key]:-0} + 1))
  [ "$kind" = clean ] || return
  case $verdict in
    "no cycle!" | "no violation!") ;;
    *) fail "a trace of a sequentially consistent run gave \"$verdict\"" ;;
  esac
}

for seed in $(seq 1 36); do
  dir=$scratch/$seed
  mkdir -p "$dir"
  options=$(gen_options "$seed")
  # shellcheck disable=SC2086
  if ! "$gen" $options -o "$dir/" >"$dir/summary" 2>&1; then
    echo "FAIL: qirn-gen $options"
    cat "$dir/summary"
    failures=$((failures + 1))
    continue
  fi
  procs=$(find "$dir" -name 'tfres.*' | wc -l)
  kind=clean
  grep -q '^injected:' "$dir/summary" && kind=injected
  for model in SC PC RC ScC; do
    for mode in "" -b; do
      run=$dir/$model$mode
      # shellcheck disable=SC2086
      timeout 20 "$qirn" -p "$procs" -m "$model" $mode -i "$dir/" >"$run.out" 2>"$run.err" </dev/null
      echo $? >"$run.rc"
      mapfile -t out <"$run.out"
      check_run
    done
  done
done

echo "verdicts (model, mode, trace kind: verdict = runs):"
for key in "${!tally[@]}"; do echo "  $key = ${tally[$key]}"; done | sort
echo "$failures failures"
[ "$failures" -eq 0 ]
