#!/usr/bin/env bash
# A shell session with varnex-edid on the virtual tool: read the sink, write it into custom6 and
# read it back, edid-decode on the saved files, exit codes, the man page and the completion; and
# the program for real tools with none attached.
# Usage: cli-session.sh <build-dir> <scratch-dir>
set -euo pipefail

build=$(realpath "$1")
out=$(realpath -m "$2")
source_dir=$(realpath "$(dirname "$0")/../..")
cli=$build/cli/varnex-edid
rm -rf "$out" && mkdir -p "$out" && cd "$out"

fail() { echo "FAIL: $*" >&2; exit 1; }
edid() { "$cli" --virtual --virtual-state "$out/state" "$@"; }
expect() { # exit code, then the command
    local want=$1 got=0
    shift
    "$@" >last.out 2>last.err || got=$?
    [ "$got" -eq "$want" ] || fail "$* exited $got, not $want: $(cat last.err)"
}

expect 0 edid read sink -o s.bin
expect 0 edid write s.bin --to custom6
expect 0 edid read custom6
cmp last.out <(edid read sink) || fail "custom6 does not hold the sink EDID in the next run"
expect 2 sh -c "'$cli' --virtual --virtual-state '$out/state' read sink >/dev/full"
for source in current sink custom6 custom7 custom8; do # the virtual tool's EDIDs conform
    expect 0 edid read $source -o $source.bin
    edid-decode --check $source.bin >edid-decode.log || fail "edid-decode --check $source.bin"
done
expect 1 edid diff s.bin tool:custom7
# The default state file of an account with no runtime folder and no cache folder yet.
expect 0 env -u XDG_RUNTIME_DIR HOME="$out/new-home" "$cli" --virtual write s.bin --to custom7
# Three writers at once on one state: each waits for the others, and no write is lost.
for n in 6 7 8; do edid --virtual-state "$out/shared" write s.bin --to custom$n -q & done
for job in $(jobs -p); do wait "$job" || fail "a concurrent write failed"; done
for n in 6 7 8; do
    cmp s.bin <(edid --virtual-state "$out/shared" read custom$n --format bin) ||
        fail "custom$n lost"
done
# A device node is never replaced (a scratch one: never the machine's own /dev).
mknod null c 1 3 2>/dev/null || mkfifo null
expect 2 edid read sink -o null
grep -q 'cannot write null: Not a regular file' last.err && [ ! -f null ] || fail "null replaced"
expect 0 edid read sink -o - --format bin && cmp last.out s.bin && [ ! -e - ] || fail "-o -"
# A file saved in place keeps its owner, group and mode.
{ printf '\x55'; tail -c +2 s.bin; } >f.bin && chmod 440 f.bin
[ "$(id -u)" -ne 0 ] || chown nobody:nogroup f.bin
owner=$(stat -c '%U:%G %a' f.bin)
expect 0 edid fix f.bin
[ "$(stat -c '%U:%G %a' f.bin)" = "$owner" ] || fail "fix made f.bin $(stat -c '%U:%G %a' f.bin)"
# Names are used byte for byte or refused, never changed into another name.
cp s.bin $'bad\xff.bin'
expect 2 edid convert $'bad\xff.bin' $'out\xfe.bin'
grep -qF "'bad\xff.bin' is not valid UTF-8" last.err && [ "$(ls | grep -c '^out')" -eq 0 ] ||
    fail "non-UTF-8 names: $(cat last.err)"
# Results and errors in the order of the files, also in one stream.
edid check s.bin missing s.bin >order.log 2>&1 || true
[ "$(cut -c1-18 order.log)" = $'s.bin: ok\nvarnex-edid: canno\ns.bin: ok' ] ||
    fail "check's order: $(cat order.log)"
expect 2 env -u XDG_RUNTIME_DIR -u HOME "$cli" --virtual read sink
grep -q -- '--virtual-state FILE' last.err || fail "no home: $(cat last.err)"
# Real tools through libusb: none is attached here, and libusb itself prints nothing.
expect 3 "$cli" read sink
expect 3 "$cli" list --any && grep -q 'no tool found' last.err || fail "list: $(cat last.err)"
[ "$(wc -l <last.err)" -eq 1 ] && grep -q 'no tool found' last.err ||
    fail "no tool: $(cat last.err)"

# edit: the capture card's EDID (1080p, stereo, a name of its own) into custom7, verified, and
# what decode and edid-decode read there; an edit that does not fit writes nothing.
expect 0 edid edit tool:sink --to custom7 --limit 1920x1080@60 --set-audio lpcm2 \
    --set-name "Capture 1080p"
grep -q 'custom7 and verified' last.out && grep -q "^Product name: 'VNX Sink' -> 'Capture 1080p'$" \
    last.err || fail "edit: $(cat last.out last.err)"
expect 0 edid decode tool:custom7
grep -q "Product name: 'Capture 1080p'" last.out && ! grep -q 'AC-3' last.out ||
    fail "custom7 after edit: $(cat last.out)"
expect 0 edid read custom7 -o edited.bin
edid-decode --check edited.bin >edid-decode.log || fail "edid-decode --check edited.bin"
expect 1 edid diff --fields tool:sink edited.bin
grep -q "^Speaker allocation data block: FL/FR, LFE1, FC -> FL/FR$" last.out || fail "diff --fields"
# More VICs than fit, each within the link's clock and the range limits.
vics=()
for vic in $(seq 6 15) $(seq 21 30) $(seq 35 90); do vics+=(--add-vic "$vic"); done
expect 2 edid edit tool:custom7 --to custom7 --set-max-tmds 300 "${vics[@]}"
grep -q 'not enough room in the CTA-861 extension: the change needs' last.err ||
    fail "edit too large: $(cat last.err)"
cmp edited.bin <(edid read custom7 --format bin) || fail "a refused edit changed custom7"
expect 0 edid edit --help
grep -q -- --set-physical-address last.out || fail "edit --help"
# merge: the television and the capture card's EDID into one for both, as edid-decode takes it.
expect 0 edid merge tool:sink edited.bin --to custom6
grep -q '^Timing 3840x2160p30: left out: input 2 does not have it$' last.out ||
    fail "merge: $(cat last.out)"
expect 0 edid read custom6 -o merged.bin
edid-decode --check merged.bin >edid-decode.log || fail "edid-decode --check merged.bin"

# new: a preset into custom8, verified; the EDID of a mode and an X modeline as xrandr prints it,
# a name of two words; a mode no DTD holds writes nothing.
expect 0 edid new hdmi20-4k60-hdr --to custom8
grep -q 'preset hdmi20-4k60-hdr written to custom8 and verified' last.out || fail "new preset"
expect 0 edid new --mode 1600x900@75 --modeline \
    '"1920x1080_60.00"  173.00  1920 2048 2248 2576  1080 1083 1088 1120 -hsync +vsync' \
    --name "Studio 3" -o modes.bin
edid-decode --check modes.bin >edid-decode.log || fail "edid-decode --check modes.bin"
grep -q "Display Product Name: 'Studio 3'" edid-decode.log || fail "new --name: $(cat edid-decode.log)"
# A DVI monitor merged with an HDMI display: its base block alone, without the other's audio.
expect 0 edid new dvi-1080p60 -o dvi.bin
expect 0 edid merge dvi.bin tool:sink --audio union -o dvi-merged.bin
[ "$(stat -c %s dvi-merged.bin)" -eq 128 ] || fail "merge with a DVI monitor: not 128 bytes"
edid-decode --check dvi-merged.bin >edid-decode.log || fail "edid-decode --check dvi-merged.bin"
expect 2 edid new --mode 5000x3000@60 --to custom8
[ "$(wc -l <last.err)" -eq 1 ] &&
    cmp <(edid read custom8 --format bin) <(edid new hdmi20-4k60-hdr -o - --format bin) ||
    fail "new refused: $(cat last.err)"

# The computer's displays, from a folder laid out as /sys/class/drm: an HDMI-A-1 on two cards, only
# one with a display: listed, refused by the name both share, written, completed.
mkdir -p drm/card0-HDMI-A-1 drm/card1-HDMI-A-1 && cp s.bin drm/card0-HDMI-A-1/edid
: >drm/card1-HDMI-A-1/edid && export VARNEX_DRM_ROOT=$out/drm
expect 0 edid list --displays && [ "$(cat last.out)" = "card0-HDMI-A-1  VNX  VNX Sink" ] ||
    fail "list --displays: $(cat last.out)"
expect 2 edid decode drm:HDMI-A-1
grep -q 'as card0-HDMI-A-1 or card1-HDMI-A-1$' last.err || fail "drm:HDMI-A-1: $(cat last.err)"
expect 0 edid write drm:card0-HDMI-A-1 --to custom8
cmp s.bin <(edid read custom8 --format bin) || fail "custom8 does not hold the display's EDID"

man_page=$source_dir/cli/varnex-edid.1
warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null)
[ -z "$warnings" ] && lexgrog "$man_page" >/dev/null || fail "man page: $warnings"
# shellcheck disable=SC2016 # expanded by the inner shell
replies=$(bash -c 'source "$1"; COMP_WORDS=(varnex-edid write s.bin --to c); COMP_CWORD=4
    _varnex_edid; echo "${COMPREPLY[*]}"' _ "$source_dir/cli/varnex-edid.bash-completion")
[ "$replies" = "custom6 custom7 custom8" ] || fail "completion of --to gave: $replies"
# shellcheck disable=SC2016 # expanded by the inner shell
replies=$(bash -c 'source "$1"; COMP_WORDS=("$2" decode drm : c); COMP_CWORD=4
    _varnex_edid; echo "${COMPREPLY[*]}"' _ "$source_dir/cli/varnex-edid.bash-completion" "$cli")
[ "$replies" = card0-HDMI-A-1 ] || fail "completion of drm: gave: $replies"
# shellcheck disable=SC2016 # expanded by the inner shell
replies=$(bash -c 'source "$1"; COMP_WORDS=("$2" new hdmi2); COMP_CWORD=2
    _varnex_edid; echo "${COMPREPLY[*]}"' _ "$source_dir/cli/varnex-edid.bash-completion" "$cli")
[ "$replies" = "hdmi20-4k60-420 hdmi20-4k60-hdr hdmi21-4k120-vrr" ] ||
    fail "completion of new gave: $replies"
echo "varnex-edid session passed"
