#!/usr/bin/env bash
# Install test: installs the programs into a temporary prefix, validates the
# desktop entry and the AppStream metadata, runs the installed programs with
# a configuration folder of their own (nothing may be written into the
# prefix), then builds the Debian package and lists its contents and
# dependencies.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages "${PACKAGES[@]}" "${INSTALL_TEST_PACKAGES[@]}"
echo "Building the programs that are installed..."
configure_project RelWithDebInfo
build_targets Zandorel zandorel-cli zandorel-share

WORK="$(mktemp -d)"
APP_PID=""
trap '[ -z "$APP_PID" ] || kill "$APP_PID" 2>/dev/null || true; rm -rf "$WORK"' EXIT
PREFIX="$WORK/prefix"
VERSION="$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")"
failures=0
checks=0
check() { # check DESCRIPTION COMMAND...
    checks=$((checks + 1))
    if "${@:2}"; then
        echo "ok: $1"
    else
        echo "FAILED: $1" >&2
        failures=$((failures + 1))
    fi
}
has_files() {
    local missing=0 file
    for file in "$@"; do
        if [ ! -f "$PREFIX/$file" ]; then
            echo "  missing: $file" >&2
            missing=1
        fi
    done
    return $missing
}
lacks() { [ ! -e "$1" ]; }
run_quiet() { "$@" >"$WORK/out.txt" 2>&1 || { cat "$WORK/out.txt" >&2; return 1; }; }
same_output() { # same_output EXPECTED COMMAND...
    local expected="$1" actual
    actual="$("${@:2}" 2>&1)" || true
    [ "$actual" = "$expected" ] || { printf '  expected: %s\n  got:      %s\n' "$expected" "$actual" >&2; return 1; }
}
prefix_listing() { (cd "$PREFIX" && find . -printf '%p %s %T@ %m\n' | sort); }

echo "Installing into a temporary prefix..."
run_logged "$WORK/install.log" cmake --install "$BUILD_DIR" --prefix "$PREFIX"
check "the programs, settings, desktop entry, icons, metadata and manual pages are installed" has_files \
    bin/Zandorel bin/zandorel-cli bin/zandorel-share share/zandorel/ZandorelConfig.xml \
    share/applications/zandorel.desktop share/metainfo/zandorel.metainfo.xml \
    share/icons/hicolor/scalable/apps/zandorel.svg share/icons/hicolor/48x48/apps/zandorel.png \
    share/icons/hicolor/256x256/apps/zandorel.png share/man/man1/Zandorel.1 share/man/man1/zandorel-cli.1 \
    share/man/man1/zandorel-share.1
check "the test build Zandorel_Test is not installed" lacks "$PREFIX/bin/Zandorel_Test"
check "no settings file is installed beside the programs" lacks "$PREFIX/bin/ZandorelConfig.xml"
check "desktop-file-validate accepts the desktop entry" run_quiet \
    desktop-file-validate "$PREFIX/share/applications/zandorel.desktop"
check "appstreamcli validate --no-net accepts the metadata" run_quiet \
    appstreamcli validate --no-net "$PREFIX/share/metainfo/zandorel.metainfo.xml"

before="$(prefix_listing)"
export XDG_CONFIG_HOME="$WORK/config"
check "zandorel-cli --version names the project's version" same_output "zandorel-cli $VERSION" \
    "$PREFIX/bin/zandorel-cli" --version
"$PREFIX/bin/zandorel-cli" --page "$ROOT/samples/saved-page.html" --captions >"$WORK/captions.txt"
check "the installed zandorel-cli lists the six files of the saved page" same_output 6 grep -c "" "$WORK/captions.txt"
check "zandorel-cli creates no settings file" lacks "$XDG_CONFIG_HOME"

# The window's first start copies the default settings into the
# configuration folder; the program is stopped once the copy is there.
QT_QPA_PLATFORM=offscreen "$PREFIX/bin/Zandorel" >"$WORK/window.log" 2>&1 &
APP_PID=$!
for _ in $(seq 1 100); do
    [ -s "$XDG_CONFIG_HOME/zandorel/ZandorelConfig.xml" ] && break
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.1
done
kill "$APP_PID" 2>/dev/null || true
wait "$APP_PID" 2>/dev/null || true
APP_PID=""
check "the window's first start copies the installed default into \$XDG_CONFIG_HOME/zandorel" cmp -s \
    "$PREFIX/share/zandorel/ZandorelConfig.xml" "$XDG_CONFIG_HOME/zandorel/ZandorelConfig.xml"
check "nothing was written into the prefix" same_output "$before" prefix_listing
unset XDG_CONFIG_HOME

echo "Building the Debian package..."
(cd "$BUILD_DIR" && rm -f zandorel_*.deb && run_logged "$WORK/cpack.log" cpack -G DEB)
DEB="$BUILD_DIR/zandorel_${VERSION}_$(dpkg --print-architecture).deb"
check "cpack made $(basename "$DEB")" test -f "$DEB"
if [ -f "$DEB" ]; then
    dpkg-deb --field "$DEB" Package Version Architecture Depends Recommends
    dpkg-deb --contents "$DEB" | awk '{print $6}'
    check "the package depends on the Qt libraries it links" \
        bash -c 'dpkg-deb --field "$1" Depends | grep -q libqt6widgets6' - "$DEB"
    check "the package holds the programs but not Zandorel_Test" bash -c \
        'c="$(dpkg-deb --contents "$1")"; grep -q "/usr/bin/Zandorel$" <<<"$c" && ! grep -q Zandorel_Test <<<"$c"' \
        - "$DEB"
fi

echo "install test: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
