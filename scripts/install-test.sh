#!/usr/bin/env bash
# Install test: builds the three programs as a release build (build-release/),
# installs them into a temporary prefix, validates the desktop entry, the
# AppStream metadata and the licence, runs the installed programs with a
# configuration folder of their own (nothing may be written into the
# prefix), then builds the Debian package and checks that its dependencies
# name the package of every library its programs load directly.
# scripts/clean-root-test.sh goes further: it installs the package into a
# fresh Debian root.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages "${PACKAGES[@]}" "${INSTALL_TEST_PACKAGES[@]}"
BUILD_DIR="$ROOT/build-release"
echo "Building the programs that are installed, as a release build in $(build_dir_name)/..."
configure_project Release -DZANDOREL_BUILD_TESTS=OFF -DZANDOREL_BUILD_BENCH=OFF
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
    share/man/man1/zandorel-share.1 share/doc/zandorel/copyright
check "the test build Zandorel_Test is not installed" lacks "$PREFIX/bin/Zandorel_Test"
check "no settings file is installed beside the programs" lacks "$PREFIX/bin/ZandorelConfig.xml"
check "desktop-file-validate accepts the desktop entry" run_quiet \
    desktop-file-validate "$PREFIX/share/applications/zandorel.desktop"
check "appstreamcli validate --no-net accepts the metadata" run_quiet \
    appstreamcli validate --no-net "$PREFIX/share/metainfo/zandorel.metainfo.xml"
check "the metadata names the MIT licence" grep -q '<project_license>MIT</project_license>' \
    "$PREFIX/share/metainfo/zandorel.metainfo.xml"
copyright_is_machine_readable() {
    local file="$PREFIX/share/doc/zandorel/copyright"
    head -n 1 "$file" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
        grep -qx 'Comment: SPDX-License-Identifier: MIT' "$file" && grep -qx 'License: MIT' "$file" &&
        grep -q '^ Permission is hereby granted' "$file" && grep -qx ' \.' "$file"
}
check "share/doc/zandorel/copyright holds the MIT licence in Debian's copyright format" copyright_is_machine_readable

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
    DEPENDS="$(dpkg-deb --field "$DEB" Depends)"
    # The package names of a Depends field, one a line.
    package_names() { tr ',|' '\n\n' | sed -E 's/\(.*\)//; s/:.*//; s/[[:space:]]//g' | grep -v '^$' | sort -u; }
    depended="$(package_names <<<"$DEPENDS")"
    dpkg-deb -x "$DEB" "$WORK/deb"
    mapfile -t binaries < <(cd "$WORK/deb" && find usr/bin -type f | sort)
    check "the package holds the three programs" same_output 3 echo "${#binaries[@]}"
    # What dpkg-shlibdeps finds for the packaged programs must all be in
    # Depends: a package made without it would lack every library.
    shlibdeps_in_depends() {
        mkdir -p "$WORK/deb/debian" && : >"$WORK/deb/debian/control"
        local found missing
        found="$(cd "$WORK/deb" && dpkg-shlibdeps -O --ignore-missing-info "${binaries[@]}" 2>/dev/null |
            sed -n 's/^shlibs:Depends=//p' | package_names)"
        [ -n "$found" ] || { echo "  dpkg-shlibdeps found nothing" >&2; return 1; }
        missing="$(comm -23 <(echo "$found") <(echo "$depended"))"
        [ -z "$missing" ] || { echo "  not in Depends: $missing" >&2; return 1; }
    }
    check "Depends holds every package dpkg-shlibdeps finds for the programs" shlibdeps_in_depends
    # And independently of dpkg-shlibdeps: every library a packaged program
    # loads directly is found here, and the package that owns it is in
    # Depends.
    owner_of() { # owner_of PATH: the installed package that holds the file
        local path="$1" alt
        case "$path" in
            /usr/*) alt="${path#/usr}" ;;
            *) alt="/usr$path" ;;
        esac
        { dpkg -S "$path" 2>/dev/null || dpkg -S "$alt" 2>/dev/null || dpkg -S "$(readlink -f "$path")" 2>/dev/null; } |
            head -n 1 | cut -d: -f1
    }
    libraries_in_depends() {
        local binary needed lib path owner failed=0
        for binary in "${binaries[@]}"; do
            local ldd_out
            ldd_out="$(ldd "$WORK/deb/$binary")"
            if grep -q 'not found' <<<"$ldd_out"; then
                echo "  $binary: $(grep 'not found' <<<"$ldd_out" | xargs)" >&2
                failed=1
            fi
            mapfile -t needed < <(readelf -d "$WORK/deb/$binary" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
            for lib in "${needed[@]}"; do
                # "libX.so => /path (...)", or "/path/ld-linux... (...)" for the loader
                path="$(awk -v lib="$lib" '$1 == lib && $2 == "=>" { print $3 }
                    $1 ~ "/" && substr($1, length($1) - length(lib)) == "/" lib { print $1 }' <<<"$ldd_out")"
                owner="$([ -n "$path" ] && owner_of "$path")" || true
                if [ -z "$owner" ]; then
                    echo "  $binary: $lib belongs to no Debian package here" >&2
                    failed=1
                elif ! grep -qx "$owner" <<<"$depended"; then
                    echo "  $binary: $lib comes from $owner, which Depends does not name" >&2
                    failed=1
                fi
            done
        done
        return $failed
    }
    check "every library the programs load directly comes from a package in Depends" libraries_in_depends
    check "the package depends on the Qt platform plugins, which are loaded at run time" \
        grep -qx qt6-qpa-plugins <<<"$depended"
    check "the package holds the copyright file" bash -c \
        'dpkg-deb --contents "$1" | grep " ./usr/share/doc/zandorel/copyright$" >/dev/null' - "$DEB"
    check "the package holds the programs but not Zandorel_Test" bash -c \
        'c="$(dpkg-deb --contents "$1")"; grep -q "/usr/bin/Zandorel$" <<<"$c" && ! grep -q Zandorel_Test <<<"$c"' \
        - "$DEB"
fi

echo "install test: $((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
