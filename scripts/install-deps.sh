#!/usr/bin/env bash
# Installs from Debian's packages what the build (and, with --tests, the
# tests) need and this machine lacks. Does nothing when all is there.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libtinfo-dev)
if [ "${1:-}" = "--tests" ]; then
  # libclang-rt-dev brings clang's runtimes (libclang-rt-14-dev on Debian 12):
  # the sanitizers' and libFuzzer's, for the presets sanitize and fuzz.
  packages+=(clang libclang-rt-dev libgtest-dev libvterm-dev binutils chromium)
  # Real terminals the program is checked in.
  packages+=(tmux screen)
  # The Debian package: cpack's dependency list, and reading the installed manual page.
  packages+=(dpkg-dev file man-db)
  # The checks through real terminals: xterm on a virtual X display, typed
  # at with xdotool (xmodmap gives accented letters keys), pictures taken
  # with xwd and imagemagick; xterm.js runs in Node.
  packages+=(xterm xvfb xdotool x11-xserver-utils x11-apps imagemagick fonts-dejavu-core)
  command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  echo "Installing: ${missing[*]}" >&2
  "${as_root[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

if [ "${1:-}" = "--tests" ]; then
  "$(dirname "$0")/install-xtermjs.sh"
fi
