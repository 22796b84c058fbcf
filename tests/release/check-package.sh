#!/usr/bin/env bash
# The Debian package, as a user gets it: built with cpack from the release
# build, installed with apt-get, the installed /usr/bin/pagiste run once end to
# end on a pseudo-terminal, then removed again, whatever the outcome.
# The run is the screen tests' full run and completed ending, pointed at the
# installed program through PAGISTE_PROGRAM (build/test must be configured).
set -euo pipefail
cd "$(dirname "$0")/../.."
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)

fail() {
  echo "check-package: $*" >&2
  exit 1
}

cmake --preset release >/dev/null
cmake --build --preset release
rm -f build/release/pagiste_*.deb
(cd build/release && cpack -G DEB)
package=$(echo build/release/pagiste_*_"$(dpkg --print-architecture)".deb)
[ -f "$package" ] || fail "no package pagiste_<version>_<arch>.deb in build/release"
for field in Maintainer Section Description; do
  [ -n "$(dpkg-deb -f "$package" "$field")" ] || fail "the package has no $field"
done
# The dependencies are computed from the program's shared libraries: none
# when it is linked whole, the C library's package when it is not.
if readelf -d build/release/pagiste | grep -q NEEDED; then
  dpkg-deb -f "$package" Depends | grep -q '^libc6 ' || fail "Depends does not name libc6"
else
  [ -z "$(dpkg-deb -f "$package" Depends)" ] || fail "a program linked whole needs no package"
fi

remove() { "${as_root[@]}" apt-get remove -y -qq pagiste >/dev/null 2>&1 || true; }
trap remove EXIT
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "$PWD/$package" >/dev/null

installed=$(dpkg -L pagiste)
for file in /usr/bin/pagiste /usr/share/pagiste/skins/D/Back.jpg \
  /usr/share/pagiste/skins/D/Etoile.jpg /usr/share/man/man1/pagiste.1.gz; do
  grep -qx "$file" <<<"$installed" || fail "dpkg -L pagiste does not list $file"
done
MANWIDTH=100 man -l /usr/share/man/man1/pagiste.1.gz | grep -q 'ask one person eleven questions' ||
  fail "man -l does not read the installed manual page"
if readelf -S --wide /usr/bin/pagiste | grep -q '\.symtab\|\.debug_'; then
  fail "the installed program is not stripped"
fi

cmake --preset test >/dev/null
cmake --build --preset test --target pagiste_screen_tests
screen_tests=build/test/tests/pagiste_screen_tests
full_run='PageRun.TheFullSetOfAnswersGivesThePageByteForByte'
full_run+=':Ending.ACompletedRunEndsWithStatusZeroAndHandsTheTerminalBack'
# Were PAGISTE_PROGRAM not heeded, the runs below would try the build's copy.
if PAGISTE_PROGRAM=/nonexistent/pagiste "$screen_tests" --gtest_filter="$full_run" >/dev/null 2>&1; then
  fail "the screen tests do not run the program named by PAGISTE_PROGRAM"
fi
PAGISTE_PROGRAM=/usr/bin/pagiste "$screen_tests" --gtest_filter="$full_run"

trap - EXIT
remove
[ ! -e /usr/bin/pagiste ] || fail "/usr/bin/pagiste is still there after apt-get remove"
echo "package: $(basename "$package") installed, ran end to end and was removed"
