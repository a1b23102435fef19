#!/usr/bin/env bash
# What the resident memory at the first painted window is made of, for the
# console, CuteCom and the bare window: each program's memory map at that
# moment, summed per mapped file (anonymous memory, the heap among it, as
# one row), largest first.
#
# usage: bench/memory.sh [ROWS]   (default 20)
set -euo pipefail
source "$(dirname "$0")/common.sh"

rows=${1:-20}
install_if_missing cutecom
build_targets matrix-console barewindow matrixstartupprobe

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
chmod 700 "$out"

snapshot() {
    local name=$1 program=$2
    MATRIX_STARTUP_PROBE_SMAPS="$out/$name.smaps" with_probe "$out" \
        "$program" 9>/dev/null >/dev/null 2>&1 </dev/null || true
    [ -s "$out/$name.smaps" ] || {
        echo "memory: $name did not report a first paint" >&2
        exit 1
    }
}

snapshot console "$build/matrix-console"
snapshot cutecom "$(command -v cutecom)"
snapshot bare "$build/bench/barewindow"

# name <tab> KiB, per mapping group.
summarise() {
    awk '
        /^[0-9a-f]+-[0-9a-f]+ / {
            name = $6
            if (name == "" || name ~ /^\[/) name = "anonymous (heap, arenas, stacks)"
            else { n = split(name, part, "/"); name = part[n] }
            next
        }
        /^Rss:/ { kib[name] += $2 }
        END { for (k in kib) printf "%s\t%d\n", k, kib[k] }' "$1"
}
for name in console cutecom bare; do
    summarise "$out/$name.smaps" >"$out/$name.tsv"
done

echo "Resident memory at the first painted window, by mapping (MiB)"
echo
awk -F'\t' -v rows="$rows" '
    FILENAME ~ /console/ { c[$1] = $2; total_c += $2; all[$1] = 1 }
    FILENAME ~ /cutecom/ { q[$1] = $2; total_q += $2; all[$1] = 1 }
    FILENAME ~ /bare/    { b[$1] = $2; total_b += $2; all[$1] = 1 }
    END {
        printf "%-40s %8s %8s %8s\n", "mapping", "console", "cutecom", "bare"
        n = 0
        for (k in all) { key[++n] = k; size[k] = c[k] > q[k] ? c[k] : q[k] }
        # Largest first (insertion sort: a few hundred rows at most).
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && size[key[j]] > size[key[j - 1]]; j--) {
                t = key[j]; key[j] = key[j - 1]; key[j - 1] = t
            }
        for (i = 1; i <= n && i <= rows; i++) {
            k = key[i]
            printf "%-40s %8.2f %8.2f %8.2f\n", substr(k, 1, 40), c[k] / 1024, q[k] / 1024, b[k] / 1024
            shown_c += c[k]; shown_q += q[k]; shown_b += b[k]
        }
        printf "%-40s %8.2f %8.2f %8.2f\n", "(the rest)", (total_c - shown_c) / 1024,
               (total_q - shown_q) / 1024, (total_b - shown_b) / 1024
        printf "%-40s %8.2f %8.2f %8.2f\n", "total", total_c / 1024, total_q / 1024, total_b / 1024
    }' "$out/console.tsv" "$out/cutecom.tsv" "$out/bare.tsv"
