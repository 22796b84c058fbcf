#!/usr/bin/env bash
# Builds and runs every test: once with g++, once with clang++ under
# AddressSanitizer and UndefinedBehaviorSanitizer; then checks the release
# build's line information and its Debian package (installed, run, removed);
# last, a minute of fuzzing for each libFuzzer target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
for preset in test sanitize; do
  echo "== $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== release"
tests/release/check-release.sh
echo "== package"
tests/release/check-package.sh
echo "== fuzz"
fuzz/run.sh 60
