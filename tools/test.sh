#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and runs every test; then again with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

build_and_test() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -G Ninja -DVARNEX_WERROR=ON "$@"
    cmake --build "$dir" -j2
    ctest --test-dir "$dir" --output-on-failure -j2
}

build_and_test build/test -DCMAKE_BUILD_TYPE=RelWithDebInfo
# LeakSanitizer runs too; only leaks inside system libraries are suppressed.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0" \
    build_and_test build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNEX_SANITIZE=ON
