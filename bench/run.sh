#!/usr/bin/env bash
# Times qirn on generated trace sets of the default size (16 processors of 625
# operations) and on a few smaller shapes, under every model in both modes.
# Usage: bench/run.sh [BUILD_DIR] [TIMEOUT_SECONDS]
# Prints one line per run: shape, model, mode, seconds (or "timeout"), verdict.
set -u
cd "$(dirname "$0")/.."
build=${1:-build}
limit=${2:-120}
qirn=$build/qirn
gen=$build/qirn-gen
[ -x "$qirn" ] && [ -x "$gen" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# name processors operations addresses locks lock-share
shapes=(
  "default-nolock 16 625 32 0 0"
  "default-onelock 16 625 32 1 40"
  "small-twolocks 8 200 16 2 40"
)

verdict_of() { grep -E 'no cycle!|find cycle|no violation!|has violation!|before add|no path' "$1" | tail -1; }

for shape in "${shapes[@]}"; do
  read -r name procs ops addrs locks share <<<"$shape"
  dir=$work/$name/
  mkdir -p "$dir"
  "$gen" -p "$procs" -n "$ops" -a "$addrs" -l "$locks" -c "$share" -s 7 -o "$dir" >/dev/null
  for model in SC PC RC ScC; do
    for mode in optimized baseline; do
      flag=""; [ "$mode" = baseline ] && flag="-b"
      start=$(date +%s.%N)
      timeout "$limit" "$qirn" -p "$procs" -m "$model" $flag -i "$dir" >"$work/out" 2>&1
      rc=$?
      end=$(date +%s.%N)
      if [ $rc -eq 124 ]; then seconds=timeout; else seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }'); fi
      printf '%-16s %-4s %-9s %8s  rc=%-3s %s\n' "$name" "$model" "$mode" "$seconds" "$rc" \
        "$(verdict_of "$work/out")"
    done
  done
done
