#!/usr/bin/env bash
# Installs what is missing, builds, and starts the utility on the virtual tool. Meant for the
# desktop user: packages are installed through sudo, and only when some are missing.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run-virtual.sh: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset); to try it anyway: xvfb-run -a tools/run-virtual.sh" >&2
    exit 1
fi
if ! tools/install-deps.sh --check >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then tools/install-deps.sh; else sudo tools/install-deps.sh; fi
fi
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build/release -j2 --target varnex-edid-utility-virtual
exec build/release/app/varnex-edid-utility-virtual
