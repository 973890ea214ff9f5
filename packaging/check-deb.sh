#!/usr/bin/env bash
# Builds the Debian package and checks it with lintian, installs it with apt as a user would,
# checks what it put in place, starts the program under Xvfb, and removes the package again. Run
# as root on Debian 12, on a machine where the package may be installed and removed.
# Usage: packaging/check-deb.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/package}

packaging/lint-deb.sh "$build"
deb=$(ls "$build"/varnex-edid-utility_*.deb)
echo "== package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends
dpkg-deb --contents "$deb" | awk '{print $6}'

echo "== install"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb" >/dev/null
dpkg-query -W -f='${Package} ${Version} ${Status}\n' varnex-edid-utility
installed=$(dpkg -L varnex-edid-utility)
for file in /usr/bin/varnex-edid-utility /usr/bin/varnex-edid-utility-virtual /usr/bin/varnex-edid \
    /usr/share/man/man1/varnex-edid.1.gz /usr/share/man/man1/varnex-edid-utility.1.gz \
    /usr/share/man/man1/varnex-edid-utility-virtual.1.gz \
    /usr/share/bash-completion/completions/varnex-edid \
    /usr/share/doc/varnex-edid-utility/copyright /usr/share/doc/varnex-edid-utility/changelog.gz \
    /usr/share/applications/com.varnex.edid_utility.desktop \
    /usr/share/icons/hicolor/scalable/apps/com.varnex.edid_utility.svg \
    /usr/share/metainfo/com.varnex.edid_utility.metainfo.xml \
    /usr/lib/udev/rules.d/70-varnex-edid-utility.rules; do
    grep -qx "$file" <<<"$installed" || { echo "missing from package: $file"; exit 1; }
    [ -e "$file" ] || { echo "not on disk: $file"; exit 1; }
done
grep -q 'ATTR{idVendor}=="10c4", ATTR{idProduct}=="ea61", TAG+="uaccess"' \
    /usr/lib/udev/rules.d/70-varnex-edid-utility.rules || { echo "no rule for 10c4:ea61"; exit 1; }
desktop-file-validate /usr/share/applications/com.varnex.edid_utility.desktop
appstreamcli validate --no-net --strict /usr/share/metainfo/com.varnex.edid_utility.metainfo.xml
if ldd /usr/bin/varnex-edid-utility /usr/bin/varnex-edid | grep 'not found'; then
    echo "unresolved libraries"
    exit 1
fi

echo "== varnex-edid without a tool"
status=0
varnex-edid read sink >/dev/null 2>&1 || status=$?
[ "$status" -eq 3 ] || { echo "varnex-edid read sink without a tool: exit $status, not 3"; exit 1; }

echo "== start under Xvfb and press Read EDID"
# With no tool attached the read ends in the box titled "VARNEX" ("Hardware not found").
# shellcheck disable=SC2016
xvfb-run -a sh -c '
    varnex-edid-utility 2>/dev/null &
    pid=$!
    find_window() { xdotool search --name "$1" 2>/dev/null | head -1; }
    for _ in $(seq 100); do
        window=$(find_window "^Varnex HDMI EDID Utility\$") && [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || { echo "no main window"; kill $pid; exit 1; }
    xdotool mousemove --window "$window" 70 400 click 1 # the Read EDID button
    for _ in $(seq 50); do
        box=$(find_window "^VARNEX\$") && [ -n "$box" ] && break
        sleep 0.1
    done
    import -window root "$0/read-edid.png" 2>/dev/null || true
    kill $pid
    [ -n "$box" ] || { echo "no box after Read EDID"; exit 1; }
    echo "Read EDID shows its box (screenshot: $0/read-edid.png)"
' "$PWD/$build"

echo "== remove"
DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y -qq varnex-edid-utility >/dev/null
for file in $installed; do
    case $file in /usr/bin/* | /usr/share/applications/* | /usr/share/metainfo/* | \
        /usr/lib/udev/* | /usr/share/icons/hicolor/scalable/apps/*.svg | /usr/share/man/* | \
        /usr/share/bash-completion/* | /usr/share/doc/varnex-edid-utility/*)
        if [ -e "$file" ] && [ ! -d "$file" ]; then
            echo "left behind: $file"
            exit 1
        fi
        ;;
    esac
done
if dpkg -s varnex-edid-utility >/dev/null 2>&1; then
    echo "still installed"
    exit 1
fi
echo "== package installs and removes cleanly"
