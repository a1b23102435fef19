#!/usr/bin/env bash
# Builds the Debian package in Release: the programs, the menu entry and its
# icon, AppStream metadata, man pages and documents. Builds only what the
# package holds (no tests) and leaves exactly one .deb in the build
# directory, whose path it prints last.
#
# usage: scripts/package.sh [BUILD_DIR]   (default build-package)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-package}

"$root/scripts/setup-deps.sh" package

# Debian's hardened compiler and linker flags, as a Debian build would use,
# and the Debian changelog's date for every generated file, so that the same
# sources give the same package.
cd "$root"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l packaging/debian/changelog -STimestamp)
export SOURCE_DATE_EPOCH

rm -f "$build"/*.deb
cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
    -DMATRIX_BUILD_TESTS=OFF \
    -DMATRIX_MAN_PAGES=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G DEB >/dev/null)

debs=("$build"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package.sh: expected one .deb in $build, found: ${debs[*]}" >&2
    exit 1
fi
echo "${debs[0]}"
