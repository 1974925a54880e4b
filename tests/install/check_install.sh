#!/usr/bin/env bash
# Installs the built tree into a scratch prefix and checks what a user gets:
# the five tools in the binary folder, each with a man page whose description
# reads as the tool's --help text; qirn-batch running the qirn installed beside
# it; and a consumer project that finds the package, links qirn::core and
# prints, through qirn::check, what the installed qirn prints.
# Usage: check_install.sh CMAKE BUILD_DIR BINDIR MANDIR CXX BUILD_TYPE EXAMPLE_DIR
set -eu
cmake=$1 build=$2 bindir=$3 mandir=$4 cxx=$5 build_type=$6 example=$7
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() { echo "$*" >&2; exit 1; }
command -v groff >/dev/null || fail "groff is needed to render the man pages (scripts/ensure-tools.sh --tests)"

# One section of a rendered page, and a text with its layout left out.
section() { awk -v name="$2" '$0 == name { on = 1; next } on && /^[^ ]/ { exit } on' "$1"; }
words() { tr -s ' \t' '  ' | sed 's/^ //; s/ $//' | grep -v '^$' || true; }

# The page must render without warnings, and its description and version must
# read as the tool's own --help and --version output.
check_page() {  # page tool
  groff -man -Tascii -P-cbou -ww "$1" >"$scratch/page.txt" 2>"$scratch/warnings.txt"
  [ ! -s "$scratch/warnings.txt" ] || fail "$1: $(cat "$scratch/warnings.txt")"
  diff <("$2" --help | sed '1{/^Usage: /d}' | words) <(section "$scratch/page.txt" DESCRIPTION | words) ||
    fail "$1: the description is not the help text"
  diff <("$2" --version) <(section "$scratch/page.txt" VERSION | words) || fail "$1: wrong version"
}

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for tool in qirn qirn-gen qirn-batch qirn-shrink qirn-witness; do
  [ -x "$prefix/$bindir/$tool" ] || fail "$tool is not installed"
  page=$prefix/$mandir/man1/$tool.1
  [ -f "$page" ] || fail "$tool.1 is not installed"
  check_page "$page" "$prefix/$bindir/$tool"
done

# A help text full of what troff would read as requests and escapes.
tricky=$scratch/tricky
cat >"$tricky" <<'TOOL'
#!/bin/sh
[ "$1" = --version ] && { echo "tricky 0.1"; exit 0; }
cat <<'HELP'
Usage: tricky [-x]
.TH not a request
'br nor this

  a \fB backslash \\ and \n
.
-x, --x-ray  ...
HELP
TOOL
chmod +x "$tricky"
"$cmake" -DTOOL="$tricky" -DNAME=tricky -DSUMMARY=tricky -DSOURCE=test -DOUTPUT="$scratch/tricky.1" \
  -P "$here/../../cmake/QirnManPage.cmake"
check_page "$scratch/tricky.1" "$tricky"

normalise() { sed -E 's/Time used = [0-9]+\.[0-9]+/Time used = <t>/'; }
run() {  # exe args...: the output, time masked, and the exit status
  local status=0
  "$@" >"$scratch/out.txt" 2>&1 || status=$?
  normalise <"$scratch/out.txt"
  echo "status $status"
}

expected=$(run "$prefix/$bindir/qirn" -p 2 -i "$example/")
grep -qx 'no cycle!' <<<"$expected" || fail "the installed qirn does not pass $example: $expected"

"$cmake" -S "$here/consumer" -B "$scratch/consumer" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE="$build_type" >/dev/null
"$cmake" --build "$scratch/consumer" >/dev/null
diff <(echo "$expected") <(run "$scratch/consumer/qirn_consumer" "$example/") ||
  fail "the consumer prints otherwise than the installed qirn"

batch=$(run "$prefix/$bindir/qirn-batch" "$example")
grep -q "pass	no cycle!" <<<"$batch" && grep -qx 'status 0' <<<"$batch" ||
  fail "the installed qirn-batch does not verify $example: $batch"
mv "$prefix/$bindir/qirn" "$scratch/qirn.moved"
! run "$prefix/$bindir/qirn-batch" "$example" | grep -qx 'status 0' ||
  fail "qirn-batch ran a qirn other than the one beside it"
echo "installed and checked under $prefix"
