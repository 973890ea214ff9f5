#!/usr/bin/env bash
# Drives varnex-edid-utility-virtual under Xvfb with real input events only, as an operator would:
# read the sink EDID, edit a byte, recalculate the checksum, save, load back, write into
# "Custom EDID 7", read it back and compare, then File > Exit. Screenshots go to the output folder.
# Usage: operator-session.sh <program> <output folder>
set -euo pipefail

program=$1
out=$2
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.bin "$out/display"

# Xvfb picks a free display and names it once it accepts connections.
Xvfb -displayfd 3 -screen 0 640x600x24 -nolisten tcp 3>"$out/display" >"$out/xvfb.log" 2>&1 &
xvfb=$!
app=
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 300); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(head -n 1 "$out/display")

step=0
fail() { echo "FAIL: $*" >&2; exit 1; }
shot() {
    step=$((step + 1))
    import -window root "$out/$(printf '%02d' "$step")-$1.png"
}

"$program" >"$out/program.log" 2>&1 &
app=$!
window=
for _ in $(seq 300); do
    window=$(xdotool search --name '^Varnex HDMI EDID Utility$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] && break
    sleep 0.1
done
[ -n "$window" ] || fail "the window did not appear"
sleep 0.5

# The window sits at the screen's origin without a window manager; widgets keep the form's
# geometry inside the central widget, which starts below the menu bar.
menu_height=20
click_widget() { # x y width height of the widget in the central widget
    xdotool mousemove --sync $(($1 + $3 / 2)) $((menu_height + $2 + $4 / 2)) click 1
    sleep 0.3
}
read_button() { click_widget 20 370 101 23; }
checksum_button() { click_widget 150 370 111 23; }
write_button() { click_widget 290 370 101 23; }
load_button() { click_widget 20 420 101 23; }
save_button() { click_widget 150 420 111 23; }
choose_source() { # index in the selector: opens it and walks from the current item
    click_widget 20 20 151 22
    xdotool key --delay 80 Home
    for _ in $(seq "$1"); do xdotool key --delay 80 Down; done
    xdotool key Return
    sleep 0.3
}
answer_dialog() { # types a file name into the file dialog that has focus
    sleep 0.8
    xdotool type --delay 20 "$1"
    xdotool key Return
    sleep 0.8
}

choose_source 1
read_button
sleep 1
shot read-sink

# Overwrite byte 10 (the product code's low byte): block 0's checksum is now wrong.
click_widget 20 60 371 271
xdotool key ctrl+Home
for _ in $(seq 30); do xdotool key Right; done
xdotool key shift+Right shift+Right
xdotool type "5A"
sleep 0.3
shot edited

checksum_button
sleep 0.8
shot checksum-question
xdotool key alt+y
sleep 0.5
shot checksum-recalculated

save_button
answer_dialog "$out/edited.bin"
shot saved
[ -f "$out/edited.bin" ] || fail "the save produced no file"

# Clear the pane so that the load visibly brings the EDID back.
click_widget 20 60 371 271
xdotool key ctrl+a Delete
load_button
answer_dialog "$out/edited.bin"
shot loaded

choose_source 3
write_button
sleep 3
shot written-custom-7

click_widget 20 60 371 271
xdotool key ctrl+a Delete
read_button
sleep 1
shot read-custom-7

save_button
answer_dialog "$out/read-back.bin"
cmp "$out/edited.bin" "$out/read-back.bin" || fail "Custom EDID 7 does not hold the written EDID"

xdotool mousemove --sync 15 8 click 1
sleep 0.5
shot file-menu
xdotool key Down Return
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "the program ended with status $status"

# The edited byte and both checksums: every block sums to 0, byte 10 is 0x5A.
python3 - "$out/edited.bin" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
assert len(data) == 256, len(data)
assert data[10] == 0x5A, hex(data[10])
assert sum(data[:128]) % 256 == 0 and sum(data[128:]) % 256 == 0, 'checksums'
PY
edid-decode --check "$out/edited.bin" >"$out/edid-decode.txt" || true
grep -q 'EDID conformity: PASS' "$out/edid-decode.txt" || fail "edid-decode: $(tail -n 5 "$out/edid-decode.txt")"
echo "operator session passed; screenshots in $out"
