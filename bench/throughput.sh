#!/usr/bin/env bash
# The reply path's QBENCHMARKs in a Release build: a 99-output routing map
# decoded and applied to the window, and a reading appended to a reply log
# holding 10,000 readings. Prints each against its 1 ms budget; the
# reading's figure has the pseudo-terminal's own share, measured in the
# same run, taken off.
#
# Like startup.sh it runs under real-time FIFO scheduling where permitted,
# so that other work on the machine does not stretch one row more than
# another; --no-realtime measures under the normal policy.
#
# usage: bench/throughput.sh [--no-realtime] [ITERATIONS]   (default 1000)
set -euo pipefail
source "$(dirname "$0")/common.sh"

realtime=(chrt -f 10)
if [ "${1:-}" = --no-realtime ]; then
    realtime=()
    shift
elif ! chrt -f 10 true 2>/dev/null; then
    echo "throughput: no real-time scheduling here, measuring as is" >&2
    realtime=()
fi
iterations=${1:-1000}
build_targets bench_window

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
csv=$runtime/results.csv
# The median of 5 passes per measurement, each of ITERATIONS iterations.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime QT_LOGGING_RULES='qt.qpa.*=false' \
    "${realtime[@]}" "$build/bench/bench_window" -iterations "$iterations" -median 5 -o "$csv,csv"

# "function","tag","metric",value,total,iterations
scheduling="normal scheduling"
[ ${#realtime[@]} -eq 0 ] || scheduling="real-time FIFO scheduling"
awk -F, -v scheduling="$scheduling" '
    { gsub(/"/, ""); ms[$1 "/" $2] = $4 }
    END {
        line = ms["readingLogged/line alone"]
        map = ms["routingMapApplied/"]
        full = ms["readingLogged/log of 10000 readings"] - line
        empty = ms["readingLogged/empty log"] - line
        printf "Reply path, Release, median of 5 passes, %s (one run)\n\n", scheduling
        printf "%-52s %9s %11s\n", "measurement", "ms", "x 1 ms budget"
        printf "%-52s %9.4f %10.2fx\n", "99-output routing map decoded and applied", map, map
        printf "%-52s %9.4f %10.2fx\n", "reading appended, log of 10,000 readings", full, full
        printf "%-52s %9.4f %10.2fx\n", "reading appended, empty log", empty, empty
        printf "%-52s %9.4f\n", "(pseudo-terminal share, taken off the two above)", line
    }' "$csv"
