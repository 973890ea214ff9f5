#!/usr/bin/env bash
# Installs what is missing and runs every check of the project:
#  1. a build with warnings as errors and every CTest test (the presets and lists of modes judged
#     by edid-decode among them), and the sample EDIDs damaged one byte at a time, judged by
#     edid-decode and by the decoder;
#  2. an operator's session with the virtual-tool program under Xvfb, driven by real input events,
#     and a shell session with varnex-edid on the virtual tool;
#  3. the Debian package, built as the README says and checked with lintian (not installed);
#  4. the same build and tests with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer;
#  5. each libFuzzer target for a bounded time on its corpus.
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

# Damaged sample EDIDs: what edid-decode newly fails, the decoder newly reports.
python3 tests/edid/damage_differential.py build/test/cli/varnex-edid tests/data/edid-corpus \
    tests/edid/damage-findings.tsv

tests/e2e/operator-session.sh build/test/app/varnex-edid-utility-virtual build/test/e2e
tests/e2e/cli-session.sh build/test build/test/cli-e2e

packaging/lint-deb.sh build/package

# Only leaks inside system libraries are suppressed.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0" \
    build_and_test build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARNEX_SANITIZE=ON

tools/fuzz.sh 60
