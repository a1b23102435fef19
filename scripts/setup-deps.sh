#!/usr/bin/env bash
# Installs the Debian packages the console, its tests and its tools need,
# and only those that are missing. Runs apt-get non-interactively, through
# sudo when not root.
#
# usage: scripts/setup-deps.sh [run|test|package|check]
#   run      what building and running the console needs (default)
#   test     that, plus what the test suite needs (clang for the fuzzer)
#   package  run's, plus what building the Debian package needs
#   check    package's, plus the tools that check the package
set -euo pipefail

want=${1:-run}

packages=(
    cmake ninja-build g++ pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
    libmosquitto-dev       # the bridge's MQTT side
    qt5-style-plugins      # the "plastique" style
    fonts-wqy-zenhei       # Chinese texts
    xvfb xauth             # running headless, screenshots
)
case $want in
    run) ;;
    test) packages+=(clang libclang-rt-14-dev
                     mosquitto mosquitto-clients openssl) ;; # a real broker, TLS test CA
    package) packages+=(dpkg-dev scdoc) ;;
    check) packages+=(dpkg-dev scdoc lintian desktop-file-utils appstream man-db groff-base
                      systemd) ;; # systemd-analyze, for the bridge's unit
    *) echo "usage: $0 [run|test|package|check]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
