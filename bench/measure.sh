#!/usr/bin/env bash
# Measures the program as built for use (release preset) on an 80 x 25
# terminal: bytes and write() calls for the first screen, the echo of one
# typed character, peak memory, the cost of waiting for a key, and start-up
# time against a C program that writes the same screen precomputed.
# Needs tmux and strace (installed when missing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for tool in tmux strace; do
  command -v "$tool" >/dev/null || { apt-get update -qq && apt-get install -y -qq "$tool" >/dev/null; }
done
cmake --preset release -DPAGISTE_BENCH=ON >/dev/null
cmake --build --preset release --target pagiste startup_bench reference_screen >/dev/null
program=$PWD/build/release/pagiste
work=$(mktemp -d)
trap 'tmux -L bench kill-server 2>/dev/null; rm -rf "$work"' EXIT

tmux -L bench new-session -d -x 80 -y 25 \
  "strace -o $work/trace -e trace=write,read,poll -xx $program"
sleep 1
pid=$(pgrep -n -f "^$program")

echo "== first screen, up to the first question"
awk '/^write\(1,/ && !seen { n++; sub(/.*= /, ""); bytes += $0 } /^poll/ { seen = 1 }
     END { printf "bytes to the terminal: %d\nwrite() calls: %d\n", bytes, n }' "$work/trace"

echo "== waiting for a key, 5 s"
read_counts() {
  local stat; stat=$(cut -d' ' -f14,15 "/proc/$pid/stat")
  local switches; switches=$(awk '/ctxt_switches/ { s += $2 } END { print s }' "/proc/$pid/status")
  echo "$stat $switches"
}
read -r utime0 stime0 switches0 <<<"$(read_counts)"
sleep 5
read -r utime1 stime1 switches1 <<<"$(read_counts)"
echo "CPU time: $(( (utime1 - utime0 + stime1 - stime0) * 1000 / $(getconf CLK_TCK) )) ms"
echo "wake-ups per second: $(( (switches1 - switches0) / 5 ))"
echo "peak resident memory: $(awk '/VmHWM/ { print $2, $3 }' "/proc/$pid/status")"

echo "== echo of one character typed at the end of a line"
before=$(grep -c '^write(1' "$work/trace")
tmux -L bench send-keys a
sleep 0.5
grep '^write(1' "$work/trace" | tail -n +"$((before + 1))"
tmux -L bench kill-server

echo "== start-up to the first screen"
screen_bytes=$(awk '/^write\(1,/ && !seen { sub(/.*= /, ""); b += $0 } /^poll/ { seen = 1 } END { print b }' "$work/trace")
build/release/bench/startup_bench build/release/bench/reference_screen "$screen_bytes"
build/release/bench/startup_bench "$program" "$screen_bytes"

echo "== one page (answers piped in, the page of tests/fixtures)"
mkdir -p "$work/site/app" "$work/site/personnes"
answers='Dupont\nJean\n12 rue des Lilas, 75011 Paris\njean.dupont@example.fr\njd@example.org\n01 23 45 67 89\n06 12 34 56 78\n14/07/1985\nPassionn\xc3\xa9 de photo & de jazz\nphoto.jpg\nD\n\n'
tmux -L bench new-session -d -x 80 -y 25 \
  "cd $work/site/app && printf '$answers' | strace -o $work/page-trace -e trace=openat,write,fsync,close,rename -xx $program"
for _ in $(seq 50); do [ -e "$work/site/personnes/Jean Dupont.htm" ] && break; sleep 0.1; done
sleep 0.3
page_fd=$(sed -n 's/^fsync(\([0-9]*\)).*/\1/p' "$work/page-trace")
awk -v fd="$page_fd" '$0 ~ "^write\\(" fd "," { n++; sub(/.*= /, ""); bytes += $0 }
     END { printf "write() calls for the page: %d\nbytes: %d\n", n, bytes }' "$work/page-trace"
grep -cE '^(fsync|rename)\(' "$work/page-trace" | sed 's/^/fsync and rename calls: /'
