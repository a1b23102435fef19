#!/usr/bin/env bash
# Builds the reply-decoder fuzzer in build-fuzz and runs it for SECONDS
# (default 60) on a copy of the seed corpus. Exits non-zero on any finding:
# crash, sanitizer report, broken invariant, leak or slow input.
#
# usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail

seconds=${1:-60}
case $seconds in
    ''|*[!0-9]*) echo "usage: $0 [SECONDS]" >&2; exit 2 ;;
esac

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
seeds=$root/tests/fuzz/corpus/replydecoder

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DMATRIX_FUZZ=ON -DMATRIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target fuzz_replydecoder

# The fuzzer adds every new input it finds to its corpus directory; let it
# grow a scratch copy inside the (ignored) build directory, never the seeds.
run=$build/fuzz-run/replydecoder
rm -rf "$run"
mkdir -p "$run/corpus" "$run/artifacts"
cp "$seeds"/* "$run/corpus/"

status=0
"$build/tests/fuzz/fuzz_replydecoder" \
    -max_total_time="$seconds" \
    -max_len=1024 \
    -timeout=5 \
    -detect_leaks=1 \
    -print_final_stats=1 \
    -artifact_prefix="$run/artifacts/" \
    "$run/corpus" || status=$?

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$run/artifacts")" ]; then
    echo "fuzz_replydecoder: finding (exit $status); inputs kept in $run/artifacts" >&2
    exit 1
fi
echo "fuzz_replydecoder: nothing found in ${seconds}s"
