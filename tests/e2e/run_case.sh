#!/usr/bin/env bash
# Runs qirn on one scenario directory and compares its output byte for byte.
#
# The directory holds the input files, `args` (the command-line words, shell
# quoted), `expected.out`, and optionally `expected.err` (empty when absent),
# `expected.rc` (0 when absent) and `expected.file.NAME` for each file NAME the
# run must write. qirn runs as "qirn" in a scratch copy of the directory; only
# the figure of "Time used = ..." is normalised.
#
# The run is repeated with --exit-code: the output must not change, except
# for the line that names the input file and line of a stop on bad input, and
# the status must be the verdict that the expected output shows (0 pass, 1
# violation, 2 bad input or usage, 3 an internal stop). A third run with
# --json must write the same verdict, and the printed cycle as its witness,
# and name the line that decides the verdict as the printed output shows it.
set -u
qirn=$1
case_dir=$2

here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp -R "$case_dir"/. "$scratch"/
cd "$scratch" || exit 2

args=$(cat args 2>/dev/null || true)
(eval "exec -a qirn \"\$qirn\" $args") </dev/null >actual.out 2>actual.err
echo $? >actual.rc

normalise() { sed -E 's/Time used = [0-9]+\.[0-9]+/Time used = <t>/' "$1"; }

failed=0
compare() {  # expected actual label
  if ! diff -u <(normalise "$1") <(normalise "$2") >diff.txt; then
    echo "--- mismatch in $3 ---"
    cat diff.txt
    failed=1
  fi
}

[ -f expected.err ] || : >expected.err
[ -f expected.rc ] || echo 0 >expected.rc
compare expected.out actual.out "standard output"
compare expected.err actual.err "standard error"
compare expected.rc actual.rc "exit status"
for expected in expected.file.*; do
  [ -e "$expected" ] || continue
  produced=${expected#expected.file.}
  if [ -f "$produced" ]; then
    compare "$expected" "$produced" "file $produced"
  else
    echo "--- file $produced was not written ---"
    failed=1
  fi
done
# The status --exit-code must give, read from the expected output alone.
verdict_status() {
  local out err rc
  out=$(cat expected.out expected.file.* 2>/dev/null)
  err=$(cat expected.err)
  rc=$(cat expected.rc)
  if [ "$rc" -ne 0 ]; then
    case $err in
      *"Find a write-to consistency violation"*) echo 1 ;;
      *"FAILURE IN operation.cpp"* | *"more than one lock!"* | *"out of memory"*) echo 3 ;;
      *) echo 2 ;;
    esac
  elif [ -n "$err" ] || grep -qx 'not valid memory model!' <<<"$out"; then
    echo 2
  elif grep -qx 'find cycle\|has violation!\|no path can be found!\|before add arc!\|before add go arc!' <<<"$out"; then
    echo 1
  elif grep -qx 'no cycle!\|no violation!' <<<"$out" || grep -q '^NAME' <<<"$out"; then
    echo 0
  else
    echo 3
  fi
}

rm -f actual.* "${produced:-}"
(eval "exec -a qirn \"\$qirn\" $args --exit-code") </dev/null >actual.out 2>actual.err
echo $? >actual.rc
status=$(verdict_status)
echo "$status" >expected.rc
compare expected.out actual.out "standard output with --exit-code"
# what a failed check means (the line after its message and a blank line) and where a stop on
# bad input happened are told on lines of their own
bare() { awk '!(/^qirn: / && failed) && !/^qirn: in / {print} {failed = /^QIRN_ISVALID/ || (failed && /^$/)}' "$1"; }
bare expected.err >expected.err.bare
bare actual.err >actual.err.bare
compare expected.err.bare actual.err.bare "standard error with --exit-code"
compare expected.rc actual.rc "exit status with --exit-code"

# And with --json: the object must tell the same verdict and witness.
(eval "exec -a qirn \"\$qirn\" $args --json verdict.json") </dev/null >actual.out 2>/dev/null
cat expected.out expected.file.* >expected.all 2>/dev/null
python3 "$here/check_json.py" verdict.json "$status" actual.out expected.all expected.err.bare || failed=1
exit $failed
