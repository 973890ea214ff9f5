#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its committed corpus
# (the decoder's: the sample EDIDs of tests/data).
# Usage: tools/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARNEX_FUZZ=ON -DBUILD_TESTING=OFF
targets=(hex_text edid_file edid_decode edid_edit)
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"
for target in "${targets[@]}"; do
    work=$(mktemp -d)
    # The decoder starts from the sample EDIDs the tests use; the edits from each of them followed
    # by an edit (its number in edidEditKinds, then its argument); the others from their own corpus.
    if [ "$target" = edid_decode ]; then
        cp tests/data/edid-corpus/*.bin "$work/"
    elif [ "$target" = edid_edit ]; then
        arguments=(VNX 4660 7 2024:7 "Studio 3" SN-1 vic:16 5 16 4 1920x1080@60 lpcm2 ac3 ac3 5.1 on
            2.0.0.0 165 "" "" "" "" "")
        n=0
        for sample in tests/data/edid-corpus/*.bin; do
            kind=$((n++ % ${#arguments[@]}))
            { cat "$sample" && printf "\\$(printf %03o "$kind")%s" "${arguments[kind]}"; } \
                >"$work/$(basename "$sample")"
        done
    else
        cp -r "fuzz/corpus/$target/." "$work/"
    fi
    log="$build/fuzz_$target.log"
    echo "== fuzz_$target for ${seconds}s"
    # A finding stops the run: show the whole report and fail.
    if ! (cd "$build/fuzz" && ASAN_OPTIONS=detect_leaks=1 "./fuzz_$target" \
        -max_total_time="$seconds" -print_final_stats=1 "$work") >"$log" 2>&1; then
        cat "$log"
        exit 1
    fi
    grep -E '^(Done|stat::number_of_executed_units)' "$log"
    rm -rf "$work"
done
