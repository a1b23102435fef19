# Shared by the bench scripts: the repository root, the Release build
# directory of the bench, and installing a Debian package when missing.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-bench

install_if_missing() {
    local package=$1
    if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        return
    fi
    echo "Installing $package"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "$package"
}

# Configures build-bench in Release and builds the given targets. The
# QBENCHMARKs link the tests' support library, so the tests stay configured
# (not built) whoever configured build-bench before.
build_targets() {
    "$root/scripts/setup-deps.sh" run
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DMATRIX_BUILD_TESTS=ON >/dev/null
    cmake --build "$build" -j "$(nproc)" --target "$@"
}

# Runs a command (a program, or valgrind with the program) with the
# first-paint probe loaded, offscreen, in the scratch directory DIR with no
# saved settings; the probe reports on descriptor 9, which the caller opens.
# usage: with_probe DIR COMMAND...
with_probe() {
    local dir=$1
    shift
    env QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH="$build/bench/plugins" \
        QT_QPA_GENERIC_PLUGINS=matrixstartupprobe MATRIX_STARTUP_PROBE_FD=9 \
        XDG_RUNTIME_DIR="$dir" XDG_CONFIG_HOME="$dir" QT_LOGGING_RULES='*.debug=false' "$@"
}
