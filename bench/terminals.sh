#!/usr/bin/env bash
# What the first screen and a redraw cost on terminals that erase in colour
# (bce) and on those that do not, from strace of the program under tmux.
#   bench/terminals.sh PROGRAM
set -euo pipefail
program=$1
work=$(mktemp -d)
socket=pagiste-bench-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

# Bytes and write() calls between the (skip+1)th and the (skip+2)th wait for
# a key in the trace; skip -1 counts from the start.
writes_between_waits() {
  awk -v skip="$2" '/^ppoll\(/ { waits++; if (waits > skip + 1) exit; next }
       waits == skip + 1 && /^write\(1,/ { n++; sub(/.*= /, ""); bytes += $0 }
       END { printf "%d bytes in %d write()", bytes, n }' "$1"
}

wait_for_waits() {  # until the trace shows $2 waits for a key begun
  for _ in $(seq 100); do
    [ "$(grep -c '^ppoll(' "$1" 2>/dev/null || true)" -ge "$2" ] && return
    sleep 0.05
  done
  echo "the program never waited for a key" >&2
  exit 1
}

for term in xterm-256color screen; do
  trace=$work/trace-$term
  tmux -L "$socket" -f /dev/null new-session -d -x 80 -y 25 \
    "TERM=$term strace -o $trace -e trace=write,ppoll -xx $program"
  # strace ends a line when the call returns: the first wait shows once
  # the resize interrupts it, and the redraw lies between it and the next.
  sleep 0.5
  tmux -L "$socket" resize-window -x 60 -y 25
  wait_for_waits "$trace" 2
  first=$(writes_between_waits "$trace" -1)
  redraw=$(writes_between_waits "$trace" 0)
  bce=$(TERM=$term infocmp -1 2>/dev/null | grep -qx '	bce,' && echo yes || echo no)
  echo "TERM=$term (bce: $bce): first screen $first; redraw after 80 -> 60 columns $redraw"
  tmux -L "$socket" kill-server 2>/dev/null || true
  sleep 0.2
done
