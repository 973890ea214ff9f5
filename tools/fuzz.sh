#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time on its committed corpus.
# Usage: tools/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVARNEX_FUZZ=ON -DBUILD_TESTING=OFF
targets=(hex_text edid_file)
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"
for target in "${targets[@]}"; do
    work=$(mktemp -d)
    cp -r "fuzz/corpus/$target/." "$work/"
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
