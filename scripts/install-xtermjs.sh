#!/usr/bin/env bash
# Installs the pinned xterm.js (package-lock.json) into
# tests/terminals/xtermjs/node_modules for the checks through it. Does
# nothing when that version is already there.
set -euo pipefail
cd "$(dirname "$0")/../tests/terminals/xtermjs"

wanted=$(node -p "require('./package-lock.json').packages['node_modules/@xterm/headless'].version")
installed=$(node -p "try { require('./node_modules/@xterm/headless/package.json').version } catch { '' }")
[ "$wanted" = "$installed" ] && exit 0

echo "Installing xterm.js $wanted for the terminal checks" >&2
npm ci --no-audit --no-fund --loglevel=error >/dev/null
