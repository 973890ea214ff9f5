#!/usr/bin/env bash
# Builds the Debian package as the README does (Release, without tests) and checks it with
# lintian, which fails on any error or warning. Installs nothing.
# Usage: packaging/lint-deb.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2
# A package of an earlier version left in the folder would be checked, and installed, instead.
rm -f "$build"/varnex-edid-utility_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/varnex-edid-utility_*.deb)
echo "== lintian $deb"
# Informational tags are shown but accepted: the programs are built with CMake's flags, not
# dpkg-buildflags' hardening ones, strip leaves the .comment section, and the misspelt
# "retrive" is a warning text the window shows word for word.
lintian --fail-on error,warning --display-info "$deb"
echo "lintian: no error or warning"
