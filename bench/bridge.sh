#!/usr/bin/env bash
# matrix-bridge measured against going straight to the device, on loopback:
#
#   route    matrix-ctl route 1 2 through the bridge against straight to
#            matrix-sim, alternating, median of RUNS calls each (default
#            30), process start included; the ratio is what the bridge adds
#            (target 1.2 at most)
#   fan-out  50 clients on the bridge; a scripted device sends a routing map
#            and the time until the last client has it is taken, ROUNDS
#            times (default 200): median and worst (target 20 ms each)
#   idle     the bridge with its device and no client for 10 s: voluntary
#            context switches (its wake-ups) with the default 10 s poll and
#            with the poll off, and its resident memory (target 15 MB)
#
# Builds a Release tree of the three programs in BUILD_DIR (default
# build-rel). Talks to loopback only. Run on demand, not in CI:
#
#   bench/bridge.sh            RUNS=50 ROUNDS=500 bench/bridge.sh
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-rel}
export RUNS=${RUNS:-30} ROUNDS=${ROUNDS:-200}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMATRIX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target matrix-ctl matrix-sim matrix-bridge -j 2 >/dev/null

exec python3 - "$build" <<'PY'
import os, select, socket, statistics, subprocess, sys, time

build = sys.argv[1]
sim_exe, ctl_exe, bridge_exe = (f"{build}/{p}" for p in
                                ("sim/matrix-sim", "cli/matrix-ctl", "bridge/matrix-bridge"))
started = []

def start(args, first_word):
    """Starts a program that prints 'WORD ADDRESS:PORT' once serving; returns (process, port)."""
    p = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    started.append(p)
    line = p.stdout.readline().split()
    assert line and line[0] == first_word, f"{args[0]} did not start: {line}"
    return p, int(line[1].rsplit(":", 1)[1])

def bridge_to(port, *extra):
    return start([bridge_exe, "--tcp", f"127.0.0.1:{port}", "--listen", "127.0.0.1:0", *extra],
                 "listen")

try:
    # --- route: through the bridge against straight to the simulator
    sim, sim_port = start([sim_exe, "--tcp", "127.0.0.1:0", "--quiet"], "tcp")
    bridge, bridge_port = bridge_to(sim_port)
    time.sleep(0.5)  # the bridge's own questions answered
    def ctl(port):
        t = time.perf_counter()
        subprocess.run([ctl_exe, "--tcp", f"127.0.0.1:{port}", "route", "1", "2"], check=True,
                       stdout=subprocess.DEVNULL)
        return (time.perf_counter() - t) * 1000
    ctl(sim_port), ctl(bridge_port)  # warm-up
    direct, bridged = [], []
    for _ in range(int(os.environ["RUNS"])):
        direct.append(ctl(sim_port))
        bridged.append(ctl(bridge_port))
    d, b = statistics.median(direct), statistics.median(bridged)
    print(f"route: straight {d:.1f} ms, through the bridge {b:.1f} ms (medians of "
          f"{len(direct)}), ratio {b / d:.2f}")

    # --- idle: wake-ups and memory
    def switches(pid):
        with open(f"/proc/{pid}/status") as f:
            fields = dict(line.split(":", 1) for line in f)
        return int(fields["voluntary_ctxt_switches"]), int(fields["VmRSS"].split()[0])
    for label, extra in (("poll 10 s", []), ("poll off", ["--poll", "0"])):
        idle, _ = bridge_to(sim_port, *extra)
        time.sleep(1)
        before, _ = switches(idle.pid)
        time.sleep(10)
        after, rss = switches(idle.pid)
        print(f"idle, {label}: {after - before} wake-ups in 10 s, RSS {rss / 1024:.1f} MiB")
        idle.terminate()
        idle.wait()
    rss = switches(bridge.pid)[1]
    print(f"RSS after the route runs: {rss / 1024:.1f} MiB")
    bridge.terminate(); sim.terminate()

    # --- fan-out: a scripted device, 50 clients
    device = socket.socket()
    device.bind(("127.0.0.1", 0))
    device.listen(1)
    bridge, bridge_port = bridge_to(device.getsockname()[1], "--poll", "0")
    link, _ = device.accept()
    link.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    asked = b""
    while b"*!" not in asked.replace(b"*?!", b""):
        asked += link.recv(100)
    link.sendall(b"A:\x04HDMIx16-16-SIM0")
    time.sleep(0.1)  # a reply of its own
    link.sendall(b"A:" + b"".join(b"%02d" % (i + 1) for i in range(16)))
    time.sleep(0.2)
    clients = []
    for _ in range(50):
        c = socket.create_connection(("127.0.0.1", bridge_port))
        c.setblocking(False)
        clients.append(c)
    time.sleep(0.5)
    maps = [b"A:" + b"".join(b"%02d" % ((i + r) % 16 + 1) for i in range(16)) for r in range(16)]
    times = []
    for r in range(int(os.environ["ROUNDS"])):
        reply = maps[r % 16]
        waiting = {c: len(reply) for c in clients}
        t0 = time.perf_counter()
        link.sendall(reply)
        while waiting:
            readable, _, _ = select.select(list(waiting), [], [], 2)
            assert readable, "a client did not get the map within 2 s"
            for c in readable:
                waiting[c] -= len(c.recv(4096))
                if waiting[c] <= 0:
                    del waiting[c]
        times.append((time.perf_counter() - t0) * 1000)
        time.sleep(0.01)
    print(f"fan-out to 50 clients: median {statistics.median(times):.2f} ms, "
          f"worst {max(times):.2f} ms ({len(times)} maps)")
finally:
    for p in started:
        if p.poll() is None:
            p.terminate()
            p.wait()
PY
