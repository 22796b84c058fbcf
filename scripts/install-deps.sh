#!/usr/bin/env bash
# Installs from Debian's packages what the build (and, with --tests, the
# tests) need and this machine lacks. Does nothing when all is there.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libtinfo-dev)
if [ "${1:-}" = "--tests" ]; then
  # libclang-rt-dev brings clang's runtimes (libclang-rt-14-dev on Debian 12):
  # the sanitizers' and libFuzzer's, for the presets sanitize and fuzz.
  packages+=(clang libclang-rt-dev libgtest-dev libvterm-dev binutils chromium)
  # The Debian package: cpack's dependency list, and reading the installed manual page.
  packages+=(dpkg-dev file man-db)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "Installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
