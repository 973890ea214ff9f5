#!/usr/bin/env bash
# Drives varnex-edid-utility-virtual under Xvfb with real input events only, as an operator would:
# read the sink EDID, look it up in View > EDID Details..., give it a name and a physical address
# and remove a 4K mode through the details' Edit menu, change the address and a byte by hand,
# recalculate the checksums, save, load back, write into "Custom EDID 7", read it
# back and compare, take a preset from File > New from Preset..., then File > Exit. Screenshots go to the output folder.
# Usage: operator-session.sh <program> <output folder>
set -euo pipefail
program=$1
out=$2
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.bin "$out/display"
fail() { echo "FAIL: $*" >&2; exit 1; }

# Xvfb picks a free display and names it once it accepts connections.
Xvfb -displayfd 3 -screen 0 1240x640x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
app=
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 300); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || fail "Xvfb did not start"
export DISPLAY=:$(head -n 1 "$out/display")

"$program" >"$out/program.log" 2>&1 &
app=$!
for _ in $(seq 300); do
    xdotool search --name '^Varnex HDMI EDID Utility$' >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool search --name '^Varnex HDMI EDID Utility$' >/dev/null 2>&1 || fail "no window"
sleep 0.5

step=0
shot() { step=$((step + 1)); import -window root "$out/$(printf '%02d' $step)-$1.png"; }
# The window sits at the screen's origin without a window manager; widgets keep the form's
# geometry inside the central widget, which starts 20 pixels down, below the menu bar.
click() { xdotool mousemove --sync $(($1 + $3 / 2)) $((20 + $2 + $4 / 2)) click 1; sleep 0.3; }
pane() { click 20 60 371 271; }
read_button() { click 20 370 101 23; sleep 1; }
choose_source() { # opens the selector and walks down from its first item
    click 20 20 151 22
    xdotool key --delay 80 Home $(printf 'Down %.0s' $(seq "$1")) Return
    sleep 0.3
}
# The details window opens beside the main one, its find box at the top.
find() {
    xdotool mousemove --sync 787 40 click 1 key ctrl+a && xdotool type --delay 20 "$1"
    sleep 0.4
}
# The n-th entry of the details' Edit menu; its dialog takes the text typed, or Return alone.
edit_menu() {
    xdotool mousemove --sync 430 10 click 1 && sleep 0.4
    xdotool mousemove --sync 470 $((30 + 20 * $1)) click 1 && sleep 0.6
    [ -z "${2:-}" ] || { xdotool key ctrl+a && xdotool type --delay 20 "$2"; }
    xdotool key Return && sleep 0.6
}
# The pane's block 0 and block 1 both marked or not: "top bottom" as marked counts them.
expect_marks() {
    read -r top bottom <<<"$(marked)"
    [ "$((top > 1000)) $((bottom > 100))" = "$1" ] || fail "$2 marks $top, $bottom pixels"
}
# How many pixels of the pane's block 0 and block 1 lines carry the selected row's mark.
marked() {
    import -window root "$out/marked.png"
    for lines in 370x104+21+82 370x104+21+186; do
        convert "$out/marked.png" -crop $lines +repage -fill black +opaque '#FFE278' \
            -fill white -opaque '#FFE278' -format '%[fx:round(mean*w*h)] ' info:
    done
}
file_dialog() { # the button that opens it, then the file name typed into it
    click "$@"
    sleep 0.8
    xdotool type --delay 20 "$file" && xdotool key Return
    sleep 0.8
}

# One operator step a line: what is done, then the screenshot of what it shows.
choose_source 1 && read_button && shot read-sink
xdotool key ctrl+d && sleep 1
find "VNX Sink" && expect_marks "1 0" "the name row"
find "Physical address" && expect_marks "0 1" "the address row" && shot details
edit_menu 1 "Studio 3" && edit_menu 3 "2.0.0.0"
find "VIC 95" && edit_menu 5 && shot details-edited # removes the row selected
find "Studio 3" && expect_marks "1 0" "the new name"
find "2.0.0.0" && expect_marks "0 1" "the new address"
# No row says 3.0.0.0 yet: the find stays in block 0, where its first characters led it.
find "Studio 3" && find "3.0.0.0" && read -r _ bottom <<<"$(marked)"
[ "$bottom" -le 100 ] || fail "3.0.0.0 found before it was typed: block 1 marks $bottom pixels"
# The address's first byte, 0x20 at 0xA4, becomes 0x30: the tree now says 3.0.0.0.
pane && xdotool key ctrl+Home $(printf 'Down %.0s' $(seq 10)) $(printf 'Right %.0s' $(seq 12)) \
    shift+Right shift+Right && xdotool type 30
find "3.0.0.0" && expect_marks "0 1" "the edited address" && shot details-followed
# Overwrite byte 10 (the product code's low byte): block 0's checksum is now wrong.
pane && xdotool key ctrl+Home $(printf 'Right %.0s' $(seq 30)) shift+Right shift+Right
xdotool type 5A && shot edited
click 150 370 111 23 && sleep 0.8 && shot checksum-question
xdotool key alt+y && sleep 0.5 && shot checksum-recalculated
file=$out/edited.bin file_dialog 150 420 111 23 && shot saved
[ -f "$out/edited.bin" ] || fail "the save produced no file"
pane && xdotool key ctrl+a Delete # cleared, so that the load visibly brings the EDID back
file=$out/edited.bin file_dialog 20 420 101 23 && shot loaded
choose_source 3 && click 290 370 101 23 && sleep 3 && shot written-custom-7
pane && xdotool key ctrl+a Delete && read_button && shot read-custom-7
find "Studio 3" && expect_marks "1 0" "custom 7's name"
find "3.0.0.0" && expect_marks "0 1" "custom 7's address"
file=$out/read-back.bin file_dialog 150 420 111 23
cmp "$out/edited.bin" "$out/read-back.bin" || fail "Custom EDID 7 does not hold the written EDID"
# File > New from Preset...: the second preset of the list into the pane, saved as it came.
xdotool mousemove --sync 15 8 click 1 && sleep 0.5 && xdotool key Down Return && sleep 0.8
shot preset-list && xdotool key Down Return && sleep 0.5 && shot preset
file=$out/preset.bin file_dialog 150 420 111 23
cmp "$out/preset.bin" <("$(dirname "$program")/../cli/varnex-edid" new hdmi-1080p60 -o - \
    --format bin) || fail "the pane does not hold preset hdmi-1080p60"
xdotool mousemove --sync 15 8 click 1 && sleep 0.5 && shot file-menu
xdotool key Up Return # Exit, the File menu's last entry
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"

# The edited byte, and both checksums right: edid-decode checks them with the rest.
[ "$(od -An -tx1 -j10 -N1 "$out/edited.bin")" = " 5a" ] ||
    fail "byte 10 of the saved EDID is not 5A"
decoded=$("$(dirname "$program")/../cli/varnex-edid" decode "$out/edited.bin") || true
for says in "Product name: 'Studio 3'" "Physical address: 3.0.0.0"; do
    grep -qF "$says" <<<"$decoded" || fail "the saved EDID does not say $says"
done
! grep -q 'VIC 95:' <<<"$decoded" || fail "the saved EDID still has VIC 95"
edid-decode --check "$out/edited.bin" >"$out/edid-decode.txt" || true
grep -q 'EDID conformity: PASS' "$out/edid-decode.txt" ||
    fail "edid-decode: $(tail -n 5 "$out/edid-decode.txt")"
echo "operator session passed; screenshots in $out"
