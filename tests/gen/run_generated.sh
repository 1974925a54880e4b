#!/usr/bin/env bash
# Runs qirn on trace sets that qirn-gen simulates, under every model and in
# both modes, and checks that each run ends cleanly with a verdict.
#
# Usage: run_generated.sh QIRN QIRN_GEN
#
# A run must exit with status 0, write nothing on standard error and end with
# its model's closing lines and verdict. Traces without injected violations
# come from sequentially consistent executions, so SC and PC must answer
# "no cycle!" on them. Two stops are part of qirn's rules and expected: the
# optimized ScC search handles exactly one lock ("more than one lock!"), and
# the baseline one-lock ScC search may stop at a processor without any lock
# session ("no sync in one p!"). Verdicts are tallied at the end; violations
# that RC or ScC report on traces without injected violations are listed as
# notes.
set -u
qirn=$1
gen=$2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failures=0
declare -A tally
notes=()

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

# Facts about one trace set: processors, locks as qirn counts them (one more
# than the largest acquired lock) and processors without any acquire.
describe_traces() {  # dir
  awk 'FNR == 1 { files++; has[files] = 0 }
       $1 == "acquire" { has[files] = 1; if ($2 + 1 > locks) locks = $2 + 1 }
       END { for (f = 1; f <= files; f++) bare += 1 - has[f]; print files, locks + 0, bare }' \
    "$1"/tfres.*
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
      # A cycle before the pairing search ends the run at once; without any
      # lock session the pairing search has nothing to print.
      if [ "$last" = "before add arc!" ]; then
        verdict=$last
        return 0
      fi
      [ "$sessions" = 0 ] && [[ $verdict == "the number of operations in each processor is "* ]] &&
        verdict=none
      [[ $last == "Time used = "* ]] && case $verdict in
        "no violation!" | "has violation!" | none) true ;;
        *) false ;;
      esac ;;
    ScC)
      verdict=${out[n - 3]}
      [[ $last == "Count of choosing edge: "* ]] && [[ ${out[n - 2]} == "Time used = "* ]] &&
        { [ "$verdict" = "no cycle!" ] || [ "$verdict" = "no path can be found!" ]; } ;;
  esac
}

# A stop that qirn's rules prescribe for this trace, or nothing.
expected_stop() {
  [ "$model" = ScC ] || return
  if [ -z "$mode" ] && [ "$locks" -ne 1 ]; then
    echo "more than one lock!"
  elif [ -n "$mode" ] && [ "$locks" -eq 1 ] && [ "$bare" -gt 0 ]; then
    echo "no sync in one p!"
  fi
}

check_run() {
  local rc stop
  rc=$(<"$run.rc")
  stop=$(expected_stop)
  if [ "$rc" -eq 255 ] && [ -n "$stop" ] && [ "$(<"$run.err")" = "$stop" ]; then
    verdict="stopped: $stop"
  elif [ "$rc" -eq 124 ]; then
    fail "no answer within 20 s"
    return
  elif [ "$rc" -ne 0 ] || [ -s "$run.err" ]; then
    fail "exit status $rc, $(wc -l <"$run.err") lines on standard error"
    return
  elif [ "$stop" = "more than one lock!" ]; then
    fail "optimized ScC on $locks locks must stop with \"$stop\""
    return
  elif ! check_ending; then
    fail "the output does not end with a verdict"
    return
  fi
  local key="$model${mode:+ $mode} $kind: $verdict"
  tally[$key]=$((${tally[$key]:-0} + 1))
  [ "$kind" = clean ] || return
  case $verdict in
    "no cycle!" | "no violation!" | none | stopped:*) ;;
    *)
      if [ "$model" = SC ] || [ "$model" = PC ]; then
        fail "a sequentially consistent trace gave \"$verdict\""
      else
        notes+=("$model${mode:+ $mode} said \"$verdict\" on a clean trace: $gen $options")
      fi ;;
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
  read -r procs locks bare < <(describe_traces "$dir")
  sessions=$(grep -o '[0-9]* lock session' "$dir/summary" | cut -d' ' -f1)
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
for note in "${notes[@]}"; do echo "note: $note"; done
echo "$failures failures"
[ "$failures" -eq 0 ]
