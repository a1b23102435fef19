#!/usr/bin/env bash
# Installs what is missing, then builds and runs the whole test suite twice:
# a normal build and one with AddressSanitizer and UndefinedBehaviorSanitizer
# (any sanitizer report fails the run), then fuzzes the reply decoder.
#
# usage: scripts/test.sh [FUZZ_SECONDS]   (default 60; 0 skips the fuzzer)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
fuzz_seconds=${1:-60}

"$root/scripts/setup-deps.sh" test

run_suite() {
    local build=$1
    shift
    echo "== Building $(basename "$build")"
    "$root/scripts/build.sh" "$build" "$@"
    echo "== Testing $(basename "$build")"
    ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
}

start=$SECONDS
run_suite "$root/build" -DCMAKE_BUILD_TYPE=Debug

# Sanitizers abort at the first report, so a report is a failed test.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DMATRIX_SANITIZE=ON
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

if [ "$fuzz_seconds" -gt 0 ]; then
    echo "== Fuzzing the reply decoder for ${fuzz_seconds}s"
    "$root/scripts/fuzz.sh" "$fuzz_seconds"
fi

echo "== All tests passed in $((SECONDS - start))s"
