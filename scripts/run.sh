#!/usr/bin/env bash
# Installs what is missing, builds the console and the device simulator,
# starts the simulator on 127.0.0.1:8126 and then the console. Closing the
# console stops the simulator.
#
# In the console: choose "TCPclient", type the address 127.0.0.1 (the port
# 8126 is preset) and click "连接矩阵".
#
# usage: scripts/run.sh [matrix-sim options...]   e.g. --inputs 8 --outputs 4
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-run

"$root/scripts/setup-deps.sh" run
"$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMATRIX_BUILD_TESTS=OFF

log=$(mktemp)
"$build/sim/matrix-sim" --tcp 127.0.0.1:8126 "$@" >"$log" 2> >(sed 's/^/matrix-sim: /' >&2) &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null; rm -f "$log"' EXIT

# The simulator prints "tcp ADDRESS:PORT" once it listens.
for _ in $(seq 100); do
    grep -q '^tcp ' "$log" && break
    kill -0 "$sim" 2>/dev/null || { echo "matrix-sim did not start (is port 8126 in use?)" >&2; exit 1; }
    sleep 0.1
done
echo "Simulator listening on $(sed -n 's/^tcp //p' "$log")."
echo 'In the console choose "TCPclient", address 127.0.0.1, and click "连接矩阵".'

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$build/matrix-console"
else
    echo "No display: running the console under a virtual X server (Ctrl-C stops it)."
    xvfb-run -a "$build/matrix-console"
fi
