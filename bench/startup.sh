#!/usr/bin/env bash
# Start-up of the console, a bare QWidget window and CuteCom: time from
# process start to the first painted window, CPU time and resident memory
# at that moment, median of RUNS starts each (default 7), offscreen, as
# ratios against the bare window measured in the same run.
#
# The programs run under real-time FIFO scheduling where the bench may
# set it (root, or CAP_SYS_NICE): on a machine shared with other work the
# ratios then reflect the programs rather than their neighbours' load.
# --no-realtime measures under normal scheduling.
#
# usage: bench/startup.sh [--no-realtime] [RUNS] [NAME=PROGRAM...]
#   Extra NAME=PROGRAM pairs are measured alongside, for example an older
#   build of the console: bench/startup.sh 7 before=/tmp/old/matrix-console
set -euo pipefail
source "$(dirname "$0")/common.sh"

realtime=(--realtime)
if [ "${1:-}" = --no-realtime ]; then
    realtime=()
    shift
fi
runs=${1:-7}
shift || true

install_if_missing cutecom
build_targets matrix-console barewindow startuptime matrixstartupprobe

"$build/bench/startuptime" --probe "$build/bench/plugins" --runs "$runs" "${realtime[@]}" \
    --baseline bare --subject console \
    console="$build/matrix-console" "$@" cutecom="$(command -v cutecom)" \
    bare="$build/bench/barewindow"
