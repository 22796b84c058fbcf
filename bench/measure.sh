#!/usr/bin/env bash
# Compares the program as built for use (release preset) with whiptail and
# dialog asking the same question, and with a C program that writes the
# program's first screen precomputed, each on an 80 x 25 pseudo-terminal.
# Prints one Markdown table, ready for the README, then what one page costs.
# Installs what it needs when missing (whiptail, dialog, strace).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=21   # start-ups of each program, taken in turn
keys=200  # keys typed into each program, taken in turn

install_missing() {
  local missing=() as_root=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  echo "Installing: ${missing[*]}" >&2
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
}

scripts/install-deps.sh
install_missing whiptail dialog strace binutils
cmake --preset release -DPAGISTE_BENCH=ON >/dev/null
cmake --build --preset release --target pagiste compare reference_screen >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM HUP

compare=build/release/bench/compare
program=$PWD/build/release/pagiste
reference=$PWD/build/release/bench/reference_screen
whiptail=$(command -v whiptail)
dialog=$(command -v dialog)

# The C program must show exactly what the program shows now.
"$compare" screen raw "$work/program-screen" "$program"
"$compare" screen raw "$work/reference-screen" "$reference"
cmp -s "$work/program-screen" "$work/reference-screen" || {
  echo "reference_screen no longer writes the program's first screen" >&2
  exit 1
}

stripped_size() {
  strip -o "$work/stripped" "$1"
  stat -c %s "$work/stripped"
}

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
cores=$(grep -c '^processor' /proc/cpuinfo)
load=$(cut -d' ' -f1 /proc/loadavg)
echo "Measured on $(date +%Y-%m-%d): $(uname -srm), $cpu, $cores cores (load average $load)."
echo "Pseudo-terminals of 80 x 25, TERM=xterm-256color, LANG=C.UTF-8;" \
  "whiptail $(dpkg-query -W -f='${Version}' whiptail) and dialog" \
  "$(dpkg-query -W -f='${Version}' dialog) run \`--inputbox \"Nom :\" 10 60\`."
echo
input_box='--inputbox|Nom :|10|60'
"$compare" table "$runs" "$keys" "$work/trace" \
  "pagiste|$(stripped_size "$program")|$program" \
  "whiptail|$(stripped_size "$whiptail")|$whiptail|$input_box" \
  "dialog|$(stripped_size "$dialog")|$dialog|$input_box" \
  "C, screen precomputed|$(stripped_size "$reference")|$reference"
echo
echo "In brackets: the ratio to the C program (none where its figure is 0); it sets its" \
  "terminal's modes, writes pagiste's first screen (captured from pagiste at build time) in" \
  "one write() and echoes each key."
echo "Start-up: from fork to the last byte of the first screen; programs taken in turn, run" \
  "after run. First screen: write() calls to the terminal until the program first waits for" \
  "a key (strace -f). Echo: from typing a letter (a, b, c...) to its being drawn. CPU time:" \
  "on-CPU time from /proc/PID/schedstat. Wake-ups: voluntary and involuntary context switches."
echo

mkdir -p "$work/site/app" "$work/site/personnes"
"$compare" page "$program" "$work/site" "$work/page-trace"
cmp -s "$work/site/personnes/Jean Dupont.htm" "tests/fixtures/Jean Dupont.htm" || {
  echo "the page written differs from tests/fixtures/Jean Dupont.htm" >&2
  exit 1
}

echo
echo "On terminals that erase in the current colour (bce) and those that do not:"
bench/terminals.sh "$program"
