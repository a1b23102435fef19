#!/usr/bin/env bash
# The reply path's QBENCHMARKs in a Release build: a 99-output routing map
# decoded and applied to the window, and a reading appended to a reply log
# holding 10,000 readings. Prints each against its 1 ms budget; the
# reading's figure has the pseudo-terminal's own share, measured in the
# same run, taken off.
#
# usage: bench/throughput.sh [ITERATIONS]   (default 1000 per measurement)
set -euo pipefail
source "$(dirname "$0")/common.sh"

iterations=${1:-1000}
build_targets bench_window

runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
csv=$runtime/results.csv
# The median of 5 passes per measurement, each of ITERATIONS iterations.
QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime QT_LOGGING_RULES='qt.qpa.*=false' \
    "$build/bench/bench_window" -iterations "$iterations" -median 5 -o "$csv,csv"

# "function","tag","metric",value,total,iterations
awk -F, '
    { gsub(/"/, ""); ms[$1 "/" $2] = $4 }
    END {
        line = ms["readingLogged/line alone"]
        map = ms["routingMapApplied/"]
        full = ms["readingLogged/log of 10000 readings"] - line
        empty = ms["readingLogged/empty log"] - line
        printf "Reply path, Release, median of 5 passes (one run of this bench)\n\n"
        printf "%-52s %9s %11s\n", "measurement", "ms", "x 1 ms budget"
        printf "%-52s %9.4f %10.2fx\n", "99-output routing map decoded and applied", map, map
        printf "%-52s %9.4f %10.2fx\n", "reading appended, log of 10,000 readings", full, full
        printf "%-52s %9.4f %10.2fx\n", "reading appended, empty log", empty, empty
        printf "%-52s %9.4f\n", "(pseudo-terminal share, taken off the two above)", line
    }' "$csv"
