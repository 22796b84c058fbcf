#!/usr/bin/env bash
# Builds the program and runs it in the demo folder: answers are asked in this
# terminal and the page lands in demo/personnes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
echo "Building the program (build/release)..."
cmake --preset release >/dev/null
cmake --build --preset release
cd demo/app
exec ../../build/release/pagiste
