#!/usr/bin/env bash
# The bridge's MQTT side: an MQTT set message to the switch command at the
# device, and the device's reply to the retained state at a subscriber,
# median and worst of RUNS rounds (default 200), beside the broker's own
# round trip on an idle connection, all in the same run (see
# bench/mqttlatency.cpp). Twice: through the real matrix-bridge with a
# scripted device, and with the MQTT side alone in process.
#
# Builds a Release tree in BUILD_DIR (default build-bench); installs
# mosquitto when missing (apt-get; sudo when not root). Loopback only; the
# broker it starts is stopped at the end. Run on demand, not in CI:
#
#   bench/mqtt-latency.sh            RUNS=500 bench/mqtt-latency.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
runs=${RUNS:-200}

if [ ! -x /usr/sbin/mosquitto ]; then
    sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
    $sudo apt-get install -y mosquitto >/dev/null
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMATRIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target mqttlatency matrix-bridge -j 2 >/dev/null

"$build/bench/mqttlatency" "$runs" "$build/bridge/matrix-bridge"
echo
"$build/bench/mqttlatency" "$runs"
