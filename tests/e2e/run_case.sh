#!/usr/bin/env bash
# Runs qirn on one scenario directory and compares its output byte for byte.
#
# The directory holds the input files, `args` (the command-line words, shell
# quoted), `expected.out`, and optionally `expected.err` (empty when absent),
# `expected.rc` (0 when absent) and `expected.file.NAME` for each file NAME the
# run must write. qirn runs as "qirn" in a scratch copy of the directory; only
# the figure of "Time used = ..." is normalised.
set -u
qirn=$1
case_dir=$2

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
exit $failed
