#!/usr/bin/env bash
# Measures how qirn scales: generates trace sets of growing size with
# qirn-gen, runs every model in both modes on them and prints one table row
# per run: shape, model, mode, wall seconds, peak memory, growth exponent of
# the time against the previous size of the same series, verdict and, for
# baseline SC and PC on lock-free sets when a peer checker is given, the
# peer's seconds and memory beside qirn's and qirn's ratios to them.
#
# Usage: bench/scale.sh [-b BUILD_DIR] [-t TIMEOUT] [-m MEMORY_MB] [-s SERIES]...
#                       [-a AXE [-c CONVERTER]]
#   -b  directory holding qirn and qirn-gen (default build; use a release build)
#   -t  seconds each run may take before it is stopped (default 120)
#   -m  address space each run may take, in MB (default 8192); a run that
#       needs more stops and shows as "memory"
#   -s  run only this series (repeatable); see the list below
#   -a  the peer checker's binary; it runs `check SC` beside SC and
#       `check TSO` beside PC
#   -c  the script converting a trace set to the peer's format, called as
#       CONVERTER DIR PROCESSORS (default: qirn2axe.py one directory above AXE)
set -u
cd "$(dirname "$0")/.."
build=build
limit=120
memory=8192
axe=""
convert=""
only=()
while getopts "b:t:m:s:a:c:" opt; do
  case "$opt" in
    b) build=$OPTARG ;;
    t) limit=$OPTARG ;;
    m) memory=$OPTARG ;;
    s) only+=("$OPTARG") ;;
    a) axe=$OPTARG ;;
    c) convert=$OPTARG ;;
    *) exit 2 ;;
  esac
done
[ -n "$axe" ] && [ -z "$convert" ] && convert=$(dirname "$axe")/../qirn2axe.py
qirn=$build/qirn
gen=$build/qirn-gen
[ -x "$qirn" ] && [ -x "$gen" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 2; }

# series  qirn-gen options  shapes (processors x operations)  models  mode
series=(
  "free|-a 64 -l 0|16x625 16x2500 16x10000|SC PC|baseline"
  "free-violating|-a 64 -l 0 -v 3|16x625 16x2500 16x10000|SC PC|baseline"
  "lock-baseline|-a 8 -l 1 -c 40|2x10 4x20 8x40|RC ScC|baseline"
  "lock-scans|-a 64 -l 1 -c 40|16x10000 16x100000|SC PC RC ScC|optimized"
  "one-long|-a 64 -l 1 -c 40|1x9900 1x99700 1x1000000|SC PC RC ScC|optimized"
  "wide|-a 64 -l 1 -c 40|64x10000|SC PC RC ScC|optimized"
)

names=()
for entry in "${series[@]}"; do names+=("${entry%%|*}"); done
for name in ${only[@]+"${only[@]}"}; do
  if [[ ! " ${names[*]} " == *" $name "* ]]; then
    echo "unknown series: $name (one of: ${names[*]})" >&2
    exit 2
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

verdict_of() {
  grep -E 'no cycle!|find cycle|no violation!|has violation!|before add|more than one lock|no sync' "$1" |
    tail -1
}

# Runs the command under the time and memory limits; prints "seconds
# peak-MB", "timeout -" or "memory -".
measure() {
  local out=$1
  shift
  (ulimit -v $((memory * 1024)) && timeout "$limit" /usr/bin/time -f "%e %M" -o "$work/time" "$@") \
    >"$out" 2>&1
  local rc=$?
  if [ $rc -eq 124 ]; then
    echo "timeout -"
  elif grep -qE 'out of memory|bad_alloc|Cannot allocate' "$out"; then
    echo "memory -"
  else
    awk '{ printf "%.2f %.0f\n", $1, $2 / 1024 }' "$work/time"
  fi
}

growth() {  # time now, time before, operations now, operations before
  awk -v t="$1" -v s="$2" -v n="$3" -v m="$4" 'BEGIN {
    if (t !~ /^[0-9.]+$/ || s !~ /^[0-9.]+$/ || s + 0 <= 0 || t + 0 <= 0) print "-";
    else printf "%.2f", log(t / s) / log(n / m) }'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN {
    if (a !~ /^[0-9.]+$/ || b !~ /^[0-9.]+$/ || b + 0 <= 0) print "-";
    else printf "%.2f", a / b }'
}

printf '%-15s %-9s %-5s %-9s %8s %8s %6s  %-16s %8s %8s %6s %6s\n' series shape model mode \
  seconds MB growth verdict peer-s peer-MB t/peer m/peer
for entry in "${series[@]}"; do
  IFS='|' read -r name options shapes models mode <<<"$entry"
  if [ ${#only[@]} -gt 0 ] && [[ ! " ${only[*]} " == *" $name "* ]]; then continue; fi
  declare -A before=()
  prev_ops=""
  for shape in $shapes; do
    procs=${shape%x*}
    ops=${shape#*x}
    dir=$work/$name-$shape/
    mkdir -p "$dir"
    # shellcheck disable=SC2086
    "$gen" -p "$procs" -n "$ops" $options -s 7 -o "$dir" >/dev/null || continue
    peer_file=""
    if [ -n "$axe" ] && [ "$mode" = baseline ] && [[ "$options" == *"-l 0"* ]]; then
      peer_file=$work/peer.txt
      python3 "$convert" "$dir" "$procs" >"$peer_file"
    fi
    total=$((procs * ops))
    for model in $models; do
      flag=""
      [ "$mode" = baseline ] && flag="-b"
      read -r seconds mb < <(measure "$work/out" "$qirn" -p "$procs" -m "$model" $flag -i "$dir")
      grow=$(growth "$seconds" "${before[$model]:-}" "$total" "${prev_ops:-1}")
      before[$model]=$seconds
      peer_s=- peer_mb=- t_ratio=- m_ratio=-
      if [ -n "$peer_file" ] && { [ "$model" = SC ] || [ "$model" = PC ]; }; then
        check=SC
        [ "$model" = PC ] && check=TSO
        read -r peer_s peer_mb < <(measure "$work/peer.out" "$axe" check "$check" "$peer_file")
        t_ratio=$(ratio "$seconds" "$peer_s")
        m_ratio=$(ratio "$mb" "$peer_mb")
      fi
      printf '%-15s %-9s %-5s %-9s %8s %8s %6s  %-16s %8s %8s %6s %6s\n' "$name" "$shape" \
        "$model" "$mode" "$seconds" "$mb" "$grow" "$(verdict_of "$work/out" | cut -c1-16)" \
        "$peer_s" "$peer_mb" "$t_ratio" "$m_ratio"
    done
    prev_ops=$total
    rm -rf "$dir"
  done
  unset before
done
