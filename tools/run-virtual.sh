#!/usr/bin/env bash
# Installs what is missing, builds, and starts the utility on the virtual tool.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
cmake --build build/release -j2 --target varnex-edid-utility-virtual
exec build/release/app/varnex-edid-utility-virtual
