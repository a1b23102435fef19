#!/usr/bin/env bash
# matrix-ctl against a bare exchange of the same bytes.
#
# Starts matrix-sim on 127.0.0.1 (a free port, 16 x 16, its default 20 ms
# pacing between replies), then times with hyperfine, median of RUNS runs
# (default 30) after a warm-up, process start included:
#   matrix-ctl info       sends "*?!*!", done when the map behind the
#                         information has arrived (18 + 34 bytes)
#   matrix-ctl route 1 2  sends "*?!*1<2!*?!", done when the map that
#                         answers the switch has arrived (18 + 34 bytes)
# and beside each a socat exchange that writes the same bytes and stops once
# it has read the same 52 bytes. The ratio matrix-ctl / socat is what the
# client adds to the device's own reply time; both include the simulator's
# 20 ms pacing between the information and the map.
#
# Builds a Release tree of the two programs in BUILD_DIR (default
# build-bench), installs socat and hyperfine when missing (apt-get; sudo
# when not root). Talks to loopback only. Run on demand, not in CI:
#
#   bench/ctl-roundtrip.sh            RUNS=50 bench/ctl-roundtrip.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
runs=${RUNS:-30}

missing=()
for tool in socat hyperfine python3; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=$([ "$(id -u)" -eq 0 ] || echo sudo)
    $sudo apt-get install -y "${missing[@]}" >/dev/null
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMATRIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target matrix-ctl matrix-sim -j 2 >/dev/null
ctl=$build/cli/matrix-ctl

work=$(mktemp -d)
sim_pid=
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$build/sim/matrix-sim" --tcp 127.0.0.1:0 --quiet >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
# The simulator prints "tcp 127.0.0.1:PORT" once it listens.
for _ in $(seq 100); do
    grep -q '^tcp ' "$work/sim.out" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.err" >&2; exit 1; }
    sleep 0.05
done
port=$(sed -n 's/^tcp 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$work/sim.out")
[ -n "$port" ] || { echo "matrix-sim did not start" >&2; exit 1; }
link=127.0.0.1:$port

# Both sides must succeed before anything is timed.
"$ctl" --tcp "$link" info >/dev/null
"$ctl" --tcp "$link" route 1 2 >/dev/null
bare() { printf '%s' "$1" | socat -t 5 - "TCP:$link,shut-none,readbytes=52"; }
[ "$(bare '*?!*!' | wc -c)" -eq 52 ]
[ "$(bare '*?!*1<2!*?!' | wc -c)" -eq 52 ]

hyperfine --style basic --warmup 3 --runs "$runs" --export-json "$work/times.json" \
    -n "matrix-ctl info" "$ctl --tcp $link info" \
    -n "socat info bytes" "printf '*?!*!' | socat -t 5 - TCP:$link,shut-none,readbytes=52" \
    -n "matrix-ctl route 1 2" "$ctl --tcp $link route 1 2" \
    -n "socat route bytes" "printf '*?!*1<2!*?!' | socat -t 5 - TCP:$link,shut-none,readbytes=52" \
    >"$work/hyperfine.log"

python3 - "$work/times.json" <<'PY'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
ms = lambda name: results[name]["median"] * 1000
print(f"{'':24}{'median':>10}{'min':>10}{'max':>10}")
for name, r in results.items():
    print(f"{name:24}{ms(name):8.1f}ms{r['min']*1000:8.1f}ms{r['max']*1000:8.1f}ms")
for what, ctl, bare in (("info", "matrix-ctl info", "socat info bytes"),
                        ("route", "matrix-ctl route 1 2", "socat route bytes")):
    print(f"{what}: matrix-ctl / socat = {ms(ctl) / ms(bare):.2f}"
          f" (+{ms(ctl) - ms(bare):.1f} ms)")
PY
