#!/usr/bin/env bash
# Installs the Debian package into a fresh minimal Debian root, which holds
# none of the build's libraries, with apt as a user would, then runs every
# program there: a package whose dependencies miss a library fails here.
# Needs root (debootstrap, chroot) and the network to the Debian archive;
# takes a few minutes.
#
#   bash scripts/clean-root-test.sh [PACKAGE.deb]
#
# Without a package it makes one from a release build in build-release/.
# ZANDOREL_DEBIAN_MIRROR=URL picks the archive (default http://deb.debian.org/debian).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "This test makes a Debian root with debootstrap and enters it with chroot: run it as root." >&2
    exit 1
fi
install_packages debootstrap

DEB="${1:-}"
if [ -z "$DEB" ]; then
    install_packages "${PACKAGES[@]}"
    BUILD_DIR="$ROOT/build-release"
    echo "Building the package from a release build in $(build_dir_name)/..."
    configure_project Release -DZANDOREL_BUILD_TESTS=OFF -DZANDOREL_BUILD_BENCH=OFF
    build_targets Zandorel zandorel-cli zandorel-share
    (cd "$BUILD_DIR" && rm -f zandorel_*.deb && run_logged "$BUILD_DIR/cpack.log" cpack -G DEB)
    DEB="$(ls "$BUILD_DIR"/zandorel_*_"$(dpkg --print-architecture)".deb)"
fi
[ -f "$DEB" ] || { echo "No package at $DEB" >&2; exit 1; }
DEB="$(readlink -f "$DEB")"

SUITE="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
MIRROR="${ZANDOREL_DEBIAN_MIRROR:-http://deb.debian.org/debian}"
ROOTFS="$(mktemp -d /var/tmp/zandorel-clean-root.XXXXXX)"
LOG="$ROOTFS.log"
cleanup() {
    umount "$ROOTFS/proc" 2>/dev/null || true
    rm -rf "$ROOTFS" "$ROOTFS.err"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "Making a fresh $SUITE root (debootstrap --variant=minbase) in $ROOTFS..."
run_logged "$LOG" debootstrap --variant=minbase "$SUITE" "$ROOTFS" "$MIRROR"
cat >"$ROOTFS/etc/apt/sources.list" <<SOURCES
deb $MIRROR $SUITE main
deb $MIRROR $SUITE-updates main
deb http://deb.debian.org/debian-security $SUITE-security main
SOURCES
cp /etc/resolv.conf "$ROOTFS/etc/resolv.conf"
mount -t proc proc "$ROOTFS/proc"
in_root() { chroot "$ROOTFS" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

failures=0
check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then
        echo "ok: $1"
    else
        echo "FAILED: $1" >&2
        failures=$((failures + 1))
    fi
}
lacks_libraries() {
    local lib
    for lib in libpugixml libQt6Core libmicrohttpd libpcre2-16; do
        if in_root sh -c "ls /usr/lib/*/$lib* /lib/*/$lib*" >/dev/null 2>&1; then
            echo "  the fresh root already holds $lib" >&2
            return 1
        fi
    done
}
check "the fresh root holds none of the programs' libraries (pugixml, Qt, libmicrohttpd, PCRE2-16)" lacks_libraries

cp "$DEB" "$ROOTFS/tmp/"
cp "$ROOT/samples/saved-page.html" "$ROOTFS/tmp/saved-page.html"
echo "Installing $(basename "$DEB") with apt in the fresh root..."
run_logged "$LOG" in_root sh -c "apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y \
    --no-install-recommends /tmp/$(basename "$DEB")"
grep -E '^(Setting up zandorel|[0-9]+ upgraded)' "$LOG" || true

runs() { # runs EXPECTED_FIRST_LINE COMMAND...: the command succeeds and prints that first
    local out
    out="$(in_root "${@:2}" 2>"$ROOTFS.err")" || { cat "$ROOTFS.err" >&2; return 1; }
    echo "  $(head -n 1 <<<"$out")"
    [ "$(head -n 1 <<<"$out")" = "$1" ] || { cat "$ROOTFS.err" >&2; return 1; }
}
VERSION="$(dpkg-deb --field "$DEB" Version)"
check "Zandorel --version runs in the fresh root" runs "Zandorel $VERSION" /usr/bin/Zandorel --version
check "zandorel-cli --version runs in the fresh root" runs "zandorel-cli $VERSION" /usr/bin/zandorel-cli --version
check "zandorel-share --version runs in the fresh root" runs "zandorel-share $VERSION" \
    /usr/bin/zandorel-share --version
check "zandorel-cli lists the saved sample page there" runs "1. 图片" \
    /usr/bin/zandorel-cli --page /tmp/saved-page.html --captions
check "the window's platform plugins load there (offscreen)" runs "offscreen" \
    env QT_QPA_PLATFORM=offscreen /usr/bin/Zandorel --probe-display
check "the licence is installed" test -s "$ROOTFS/usr/share/doc/zandorel/copyright"
echo "(log: $LOG)"
echo "clean-root test: $failures failed"
[ "$failures" -eq 0 ]
