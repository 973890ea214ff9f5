#!/usr/bin/env bash
# Installs what building, running and testing the utility needs on Debian 12 (as root).
# With --check it installs nothing and exits non-zero when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins
    libusb-1.0-0-dev
    fonts-liberation
    edid-decode
    clang libclang-rt-14-dev
    xvfb xauth x11-utils xdotool imagemagick
    desktop-file-utils appstream dpkg-dev file lintian
    man-db python3
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
if [ "${1:-}" = --check ]; then
    [ "${#missing[@]}" -eq 0 ] || { echo "missing packages: ${missing[*]}"; exit 1; }
    exit 0
fi
if [ "${#missing[@]}" -gt 0 ]; then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
