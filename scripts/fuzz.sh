#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one.
# Usage: fuzz.sh [SECONDS_PER_TARGET] [LIBFUZZER_OPTION...]
#   SECONDS_PER_TARGET  how long each target runs (default 10)
# The seed corpus is made afresh from the end-to-end scenarios and from
# qirn-gen; what the fuzzers add is kept in build-fuzz/corpus/ between runs.
# A finding is written to build-fuzz/findings/ and makes the script fail.
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-10}
shift || true
dir=build-fuzz
scripts/ensure-tools.sh --fuzz
CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQIRN_FUZZ=ON \
  -DQIRN_WERROR=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"

seeds=$dir/seeds
rm -rf "$seeds"
mkdir -p "$seeds"/{trace_reader,bound_reader,whole_run} "$dir"/findings

# The first byte of a whole-run input: model, baseline flag, processors.
run_header() {  # args-file
  local words model=3 base=0 procs=1 i
  read -r -a words <"$1" || true
  for ((i = 0; i < ${#words[@]}; i++)); do
    case ${words[i]} in
      -m) case ${words[i + 1]:-} in SC) model=0 ;; PC) model=1 ;; RC) model=2 ;; esac ;;
      -b) base=1 ;;
      -p) procs=${words[i + 1]:-1} ;;
    esac
  done
  [[ $procs =~ ^[1-3]$ ]] || procs=1
  printf "\\x$(printf %02x $((model | base << 2 | (procs - 1) << 3)))"
}

# One whole-run input from a directory of trace and bound files.
run_input() {  # dir args-file
  local p
  run_header "$2"
  for kind in tfres boundgt; do
    for p in 0 1 2; do
      [ -f "$1/$kind.$p" ] && cat "$1/$kind.$p"
      printf '\0'
    done
  done
}

n=0
for case_dir in tests/e2e/*/; do
  for file in "$case_dir"tfres.* "$case_dir"boundgt.* "$case_dir"run.txt; do
    [ -f "$file" ] || continue
    n=$((n + 1))
    case $file in
      *tfres.* | *run.txt) cp "$file" "$seeds/trace_reader/e2e-$n" ;;
      *) { printf '\x05\x09'; cat "$file"; } >"$seeds/bound_reader/e2e-$n" ;;
    esac
  done
  if [ -f "$case_dir/tfres.0" ]; then
    run_input "$case_dir" "$case_dir/args" >"$seeds/whole_run/$(basename "$case_dir")"
  fi
done

gen=$(mktemp -d)
trap 'rm -rf "$gen"' EXIT
for seed in $(seq 1 12); do
  procs=$((1 + seed % 3))
  "$dir/qirn-gen" -s "$seed" -p "$procs" -n $((3 + seed % 6)) -a $((1 + seed % 3)) \
    -l $((seed % 3)) -v $((seed % 4 == 0)) -o "$gen/$seed-" >/dev/null
  cp "$gen/$seed-tfres.0" "$seeds/trace_reader/gen-$seed"
  { printf '\x10\x10'; cat "$gen/$seed-boundgt.0"; } >"$seeds/bound_reader/gen-$seed"
  for model in SC PC RC ScC; do
    echo "-p $procs -m $model" >"$gen/args"
    run_input "$gen/$seed-" "$gen/args" >"$seeds/whole_run/gen-$seed-$model"
  done
done

failed=0
for target in trace_reader bound_reader whole_run; do
  corpus=$dir/corpus/$target
  mkdir -p "$corpus"
  echo "== $target: $seconds s"
  if ! "$dir/apps/fuzz/${target}_fuzzer" "$corpus" "$seeds/$target" -max_total_time="$seconds" \
    -max_len=2048 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$dir/findings/$target-" "$@" 2>"$dir/$target.log"; then
    failed=1
    tail -n 60 "$dir/$target.log"
  fi
  grep -E '^stat::number_of_executed_units|^Done' "$dir/$target.log" || true
done
exit $failed
