#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz) and runs each for the given number of
# seconds (default 60) on a copy of its seed corpus in fuzz/corpus, so the
# repository's corpus never grows. Prints each target's executions and
# coverage; exits non-zero on any crash, sanitizer report or broken invariant,
# keeping the input that showed it in build/fuzz/findings.
#
#   fuzz/run.sh [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
targets=(key_decoder line_editor page)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

findings="$PWD/build/fuzz/findings"
mkdir -p "$findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

failed=()
for target in "${targets[@]}"; do
  cp -r "fuzz/corpus/$target" "$work/$target"
  log="$work/$target.log"
  echo "== fuzz $target, ${seconds} s"
  # Inputs up to 4 kB: long enough for an answer of 254 characters and more.
  status=0
  "build/fuzz/fuzz/fuzz_$target" "$work/$target" -max_total_time="$seconds" -max_len=4096 \
    -timeout=25 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/$target-" >"$log" 2>&1 || status=$?
  executions="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  coverage="$(grep -Eo 'cov: [0-9]+ ft: [0-9]+' "$log" | tail -n 1 || true)"
  echo "executions: ${executions:-?}, ${coverage:-no coverage line}"
  if [ "$status" -ne 0 ] || grep -q -E '^==[0-9]+==ERROR|BROKEN INVARIANT' "$log"; then
    failed+=("$target")
    echo "FAILED (status $status):"
    grep -E -A 12 'BROKEN INVARIANT|^==[0-9]+==ERROR|runtime error' "$log" | head -n 60 || true
    grep -E 'Test unit written to' "$log" || true
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzzing found faults in: ${failed[*]}" >&2
  exit 1
fi
