#!/usr/bin/env bash
# Installs what is missing, builds, and starts the utility on the virtual tool. Meant for the
# desktop user: packages are installed through sudo, and only when some are missing. Without a
# display (a root shell, SSH) it says how to get one and runs varnex-edid on the virtual tool
# instead, so that the first run on such a machine still shows the program at work.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! tools/install-deps.sh --check >/dev/null; then
    if [ "$(id -u)" -eq 0 ]; then tools/install-deps.sh; else sudo tools/install-deps.sh; fi
fi
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build "$build" -j2 --target varnex-edid-utility-virtual varnex-edid
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run-virtual.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset): for the window" \
        "run 'xvfb-run -a tools/run-virtual.sh' or log in with 'ssh -X';" \
        "from a shell, on the virtual tool:"
    echo "\$ $build/cli/varnex-edid --virtual read sink"
    exec "$build/cli/varnex-edid" --virtual read sink
fi
exec "$build/app/varnex-edid-utility-virtual"
