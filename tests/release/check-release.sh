#!/usr/bin/env bash
# The release build keeps its line information: piped answers that end after
# the second one end in the failure report, and addr2line, given the report's
# first location and build/release/pagiste, names the statement in
# questionnaire.cpp that read past the end.
# The program draws on /dev/tty, so it runs on a pseudo-terminal (script, from
# bsdutils) even where there is no terminal at all.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset release >/dev/null
cmake --build --preset release
program=$PWD/build/release/pagiste
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-release: $*" >&2
  [ -e "$work/report" ] && od -c "$work/report" >&2
  exit 1
}

status=0
(cd "$work" && timeout 30 script -qec \
  "stty rows 25 cols 80; printf 'Dupont\\nJean\\n' | '$program' >report" /dev/null \
  </dev/null >/dev/null) || status=$?
[ "$status" -eq 217 ] || fail "exit status $status, expected 217 after the failure report"
grep -q '^Read past end of file' "$work/report" || fail "no 'Read past end of file' in the report"
location=$(grep -o -m1 '0x[0-9A-F]\{8\}' "$work/report") || fail "no location in the report"
source_line=$(addr2line -e "$program" "$location")
[[ $source_line =~ questionnaire\.cpp:[1-9][0-9]*$ ]] ||
  fail "addr2line $location gives '$source_line', expected questionnaire.cpp:<line>"
echo "release build: failure at $location is $source_line"
