#!/usr/bin/env bash
# Builds the screenshot tool and runs it under a virtual X server, writing
# one PNG per tab and inner tab, and one of the console connected to the
# simulator, to docs/screenshots/.
#
# usage: scripts/screenshots.sh [OUTPUT_DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshots}

"$root/scripts/setup-deps.sh" run
cmake -S "$root" -B "$root/build" -G Ninja >/dev/null
cmake --build "$root/build" --target console-screenshots
xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/scripts/console-screenshots" "$out"
