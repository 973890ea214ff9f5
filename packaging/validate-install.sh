#!/usr/bin/env bash
# Installs a build into a scratch root and checks what a desktop will read from it: the menu
# entry, the software-centre metadata, the icon and the device access rule; the programs' man
# pages and the command-line program's completion.
# Usage: validate-install.sh <build-dir> <scratch-dir> <tool IDs as vvvv:pppp, comma-separated>
set -euo pipefail

build=$1
root=$2
ids=$3
app_id=com.varnex.edid_utility

rm -rf "$root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null

failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}

for program in varnex-edid-utility varnex-edid-utility-virtual varnex-edid; do
    [ -x "$root/usr/bin/$program" ] || fail "program $program not installed"
done
# The window programs share one page; every page is installed compressed.
for page in varnex-edid varnex-edid-utility varnex-edid-utility-virtual; do
    if ! text=$(gzip -dc "$root/usr/share/man/man1/$page.1.gz" 2>/dev/null) ||
        ! grep -q '^\.TH ' <<<"$text"; then
        fail "man page of $page not installed"
    fi
done
grep -q 'complete .* varnex-edid$' "$root/usr/share/bash-completion/completions/varnex-edid" ||
    fail "bash completion of varnex-edid not installed"

desktop=$root/usr/share/applications/$app_id.desktop
# desktop-file-validate exits 0 on warnings and hints; any output counts as a failure here.
if ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    fail "desktop-file-validate $desktop"
    echo "$report"
fi

metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
if ! appstreamcli validate --no-net --strict --pedantic "$metainfo"; then
    fail "appstreamcli validate $metainfo"
fi
# The tree check also matches the metadata with the menu entry and finds the icon.
if ! appstreamcli validate-tree --no-net --strict "$root"; then
    fail "appstreamcli validate-tree $root"
fi

icon=$root/usr/share/icons/hicolor/scalable/apps/$app_id.svg
grep -q '<svg' "$icon" 2>/dev/null || fail "icon $icon missing or not SVG"

rules=("$root"/usr/lib/udev/rules.d/*.rules)
if [ "${#rules[@]}" -ne 1 ] || [ ! -f "${rules[0]}" ]; then
    fail "expected exactly one udev rule, found: ${rules[*]}"
else
    rule=${rules[0]}
    name=$(basename "$rule")
    # uaccess is applied by 73-seat-late.rules; a tag set later is never seen.
    [[ "$name" < "73" ]] || fail "udev rule $name does not sort before 73-seat-late.rules"
    grep -v '^#' "$rule" | grep -q 'TAG+="uaccess"' || fail "udev rule $name sets no uaccess tag"
    # Every rule line must name the vendor and the product, so that no other device matches.
    while IFS= read -r line; do
        case $line in '#'* | '') continue ;; esac
        [[ $line == *'ATTR{idVendor}=="'????'"'* && $line == *'ATTR{idProduct}=="'????'"'* ]] ||
            fail "udev rule line matches more than one device: $line"
    done <"$rule"
    # Each tool ID of the build has its line, and its hardware entry in the metadata.
    for id in ${ids//[,;]/ }; do
        vendor=${id%%:*} product=${id#*:}
        grep -q "ATTR{idVendor}==\"${vendor,,}\", ATTR{idProduct}==\"${product,,}\", TAG+=\"uaccess\"" "$rule" ||
            fail "udev rule has no line for $id"
        grep -q "<modalias>usb:v${vendor^^}p${product^^}d\*</modalias>" "$metainfo" ||
            fail "metadata provides no modalias for $id"
    done
    if udevadm verify --help >/dev/null 2>&1; then # systemd 253 and later
        udevadm verify "$rule" || fail "udevadm verify $rule"
    fi
fi

if [ "$failed" -ne 0 ]; then
    exit 1
fi
echo "installed files valid"
