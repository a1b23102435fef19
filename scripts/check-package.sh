#!/usr/bin/env bash
# Checks a built Debian package the way an installer would meet it: lintian
# (no errors), the menu entry and the AppStream metadata validate, the
# programs start from the unpacked package (the console under the offscreen
# platform, cut off by SIGTERM after a few seconds since it has no option to
# quit), every man page renders without a warning, the bridge's systemd unit
# verifies and rates at most "OK" for exposure, its example configuration is a
# conffile the bridge accepts, and the versions of the package, CMake project,
# changelogs and metainfo agree.
#
# usage: scripts/check-package.sh [DEB]   (default: the .deb in build-package)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-deps.sh" check

if [ $# -gt 0 ]; then
    deb=$1
else
    debs=("$root"/build-package/*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] \
        || { echo "check-package.sh: no single .deb in build-package; run scripts/package.sh" >&2; exit 1; }
    deb=${debs[0]}
fi

failures=0
passes=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() {
    echo "ok: $*"
    passes=$((passes + 1))
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export LC_ALL=C.UTF-8

echo "== $(basename "$deb") ($(stat -c %s "$deb") bytes)"

# Warnings and notes are listed for the reader; only errors fail.
status=0
lintian --fail-on error --display-info "$deb" >"$tmp/lintian" 2>&1 || status=$?
grep -v 'running with root privileges' "$tmp/lintian" || true
if [ "$status" -eq 0 ]; then
    pass "lintian: no errors"
else
    fail "lintian: errors (exit $status)"
fi

dpkg-deb -x "$deb" "$tmp/root"
share=$tmp/root/usr/share

for desktop in "$share"/applications/*.desktop; do
    if desktop-file-validate "$desktop"; then
        pass "desktop-file-validate $(basename "$desktop")"
    else
        fail "desktop-file-validate $(basename "$desktop")"
    fi
done
for metainfo in "$share"/metainfo/*.metainfo.xml; do
    if appstreamcli validate --no-net "$metainfo"; then
        pass "appstreamcli validate $(basename "$metainfo")"
    else
        fail "appstreamcli validate $(basename "$metainfo")"
    fi
done

# Programs run from the unpacked tree with no network namespace of their
# own when unshare is not allowed; they open no link by themselves anyway.
isolate=()
unshare -n true 2>/dev/null && isolate=(unshare -n)
bin=$tmp/root/usr/bin
for program in matrix-sim matrix-ctl matrix-bridge; do
    [ -e "$bin/$program" ] || continue
    if "${isolate[@]}" "$bin/$program" --help >"$tmp/help" 2>&1 && grep -q "^Usage: " "$tmp/help"; then
        pass "$program --help"
    else
        fail "$program --help: $(head -3 "$tmp/help")"
    fi
    # The version the package was built from, as every program tells it.
    if "${isolate[@]}" "$bin/$program" --version >"$tmp/version" 2>&1 \
        && grep -Eqx "$program [0-9]+\.[0-9]+\.[0-9]+" "$tmp/version"; then
        pass "$program --version"
    else
        fail "$program --version: $(head -3 "$tmp/version")"
    fi
done

# The console runs until its window closes: it must still be running when
# the signal comes (timeout's 124) and must have said nothing but the
# offscreen platform's harmless size-hints note.
mkdir -m 0700 "$tmp/runtime"
status=0
XDG_RUNTIME_DIR=$tmp/runtime QT_QPA_PLATFORM=offscreen \
    "${isolate[@]}" timeout -s TERM 3 "$bin/matrix-console" >"$tmp/console" 2>&1 || status=$?
noise=$(grep -v 'does not support propagateSizeHints' "$tmp/console" || true)
if [ "$status" -eq 124 ] && [ -z "$noise" ]; then
    pass "matrix-console starts under offscreen and runs until SIGTERM"
else
    fail "matrix-console: exit $status (124 expected), output: $noise"
fi

# Each program has its page; a page that renders with a warning fails.
for program in "$bin"/*; do
    page=$share/man/man1/$(basename "$program").1.gz
    if [ ! -e "$page" ]; then
        echo "warning: $(basename "$program") has no man page yet"
        continue
    fi
    if MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 "$page" 2>"$tmp/man-warnings" >"$tmp/man-text" \
        && [ ! -s "$tmp/man-warnings" ] && [ -s "$tmp/man-text" ]; then
        pass "man -l $(basename "$page")"
    else
        fail "man -l $(basename "$page"): $(head -5 "$tmp/man-warnings")"
    fi
done

# The bridge's unit. systemd need not be running (a container, a build
# machine): "verify" and "security --offline" read the file alone. verify
# insists that ExecStart exists, so it reads a copy that starts the unpacked
# program; everything else is the file as shipped.
unit=$tmp/root/lib/systemd/system/matrix-bridge@.service
[ -e "$unit" ] || unit=$tmp/root/usr/lib/systemd/system/matrix-bridge@.service
if [ -e "$unit" ]; then
    mkdir -p "$tmp/units"
    instance=$tmp/units/matrix-bridge@example.service
    sed "s|/usr/bin/matrix-bridge|$bin/matrix-bridge|" "$unit" >"$instance"
    if systemd-analyze verify --man=no "$instance" >"$tmp/verify" 2>&1 && [ ! -s "$tmp/verify" ]; then
        pass "systemd-analyze verify matrix-bridge@.service"
    else
        fail "systemd-analyze verify matrix-bridge@.service: $(head -5 "$tmp/verify")"
    fi
    systemd-analyze security --offline=true --no-pager "$instance" >"$tmp/security" 2>&1 || true
    exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) \([A-Z]*\).*/\1 \2/p' "$tmp/security")
    case ${exposure#* } in
        OK | SAFE) pass "systemd-analyze security matrix-bridge@.service: exposure $exposure" ;;
        *) fail "systemd-analyze security matrix-bridge@.service: exposure '${exposure:-unknown}'" ;;
    esac
    conf=$tmp/root/etc/matrix-bridge/example.conf
    conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles 2>/dev/null || true)
    said=$("$bin/matrix-bridge" --config "$conf" --listen 127.0.0.1:99999 2>&1 || true)
    if grep -qx /etc/matrix-bridge/example.conf <<<"$conffiles" \
        && grep -q -- "--listen: '99999'" <<<"$said"; then
        # The config file was read whole (the bad --listen after it is what
        # stopped the run), so every key in it is known.
        pass "example.conf is a conffile that matrix-bridge reads"
    else
        fail "example.conf: not a conffile, or matrix-bridge refuses it"
    fi
else
    fail "matrix-bridge@.service is not in the package"
fi

# One version everywhere.
project=$(sed -n 's/^project(matrix-console VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
package=$(dpkg-deb -f "$deb" Version)
debian=$(zcat "$share/doc/matrix-console/changelog.Debian.gz" | sed -n '1s/^matrix-console (\(.*\)).*/\1/p')
upstream=$(sed -n 's/^## \([0-9][0-9.]*\) .*/\1/p' "$root/CHANGELOG.md" | head -1)
release=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "$share"/metainfo/*.metainfo.xml | head -1)
if [ "${package%-*}" = "$project" ] && [ "$debian" = "$package" ] && [ "$upstream" = "$project" ] \
    && [ "$release" = "$project" ]; then
    pass "version $package everywhere"
else
    fail "versions disagree: project $project, package $package, changelog.Debian $debian," \
        "CHANGELOG.md $upstream, metainfo $release"
fi

# Dependencies come from dpkg-shlibdeps, the style and font are recommended.
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
if [[ $depends == *libqt5widgets5* && $depends == *libqt5serialport5* \
    && $recommends == *qt5-style-plugins* && $recommends == *fonts-wqy-zenhei* ]]; then
    pass "Depends: $depends; Recommends: $recommends"
else
    fail "Depends: '$depends', Recommends: '$recommends'"
fi

echo "package: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
