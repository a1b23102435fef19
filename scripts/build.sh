#!/usr/bin/env bash
# Configures and builds into a build directory.
#
# usage: scripts/build.sh BUILD_DIR [extra cmake options...]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: $0 BUILD_DIR [cmake options...]}
shift

cmake -S "$root" -B "$build" -G Ninja "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
