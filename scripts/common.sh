#!/usr/bin/env bash
# Shared by the scripts: installs what is missing from Debian's packages and
# builds the project with CMake and Ninja, quietly unless something fails.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${ZANDOREL_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-qpa-plugins libpcre2-dev libpugixml-dev libcpp-httplib-dev
    libmicrohttpd-dev qt6-translations-l10n qt6-wayland
    libgtest-dev libbenchmark-dev libsimdjson-dev jq
    python3 fonts-noto-cjk rclone
    file dpkg-dev
)
# file and dpkg-dev compute the Debian package's dependencies (cpack -G DEB).
# The install test's checks.
INSTALL_TEST_PACKAGES=(desktop-file-utils appstream)

# The build folder as the user would type it.
build_dir_name() {
    case "$BUILD_DIR" in
        "$ROOT"/*) echo "${BUILD_DIR#"$ROOT"/}" ;;
        *) echo "$BUILD_DIR" ;;
    esac
}

install_packages() {
    local missing=()
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            cat >&2 <<EOF
These Debian packages are needed and not installed:
    ${missing[*]}
There is no sudo here, so install them as root, then run this command again:
    su -c 'apt-get update && apt-get install -y --no-install-recommends ${missing[*]}'
EOF
            exit 1
        fi
        sudo=(sudo)
    fi
    echo "Installing the missing Debian packages: ${missing[*]}"
    local log
    log="$(mktemp)"
    if ! { "${sudo[@]}" apt-get update -qq &&
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
            "${missing[@]}"; } >"$log" 2>&1; then
        tail -n 20 "$log" >&2
        rm -f "$log"
        cat >&2 <<EOF
Installing the packages failed. As root, run:
    apt-get update && apt-get install -y --no-install-recommends ${missing[*]}
EOF
        exit 1
    fi
    rm -f "$log"
}

# Runs a command with its output in a log file; on failure shows what went
# wrong and stops the script. CMake's own errors come first: its log also
# holds notes about optional parts it did not find, which are not the cause.
run_logged() {
    local log="$1"
    shift
    if ! "$@" >"$log" 2>&1; then
        echo "Failed: $*" >&2
        if grep -q '^CMake Error' "$log"; then
            # (pkg-config names a missing module on a line of its own before the error)
            awk '/^CMake Error/ { show = 1 } /^(-- |CMake Warning)/ { show = 0 } show || /^-- +No package/' "$log" |
                head -n 60 >&2
        else
            tail -n 60 "$log" >&2
        fi
        echo "(whole output in $log)" >&2
        exit 1
    fi
}

# require_writable_dir DIR: stops the script, saying whose the folder is and
# what to do, when DIR or something in it cannot be written by this user
# (typically a build folder left by a run as root).
require_writable_dir() {
    local dir="$1" blocker="" shown
    if [ -e "$dir" ]; then
        if [ ! -d "$dir" ] || [ ! -w "$dir" ] || [ ! -x "$dir" ]; then
            blocker="$dir"
        else
            blocker="$(find "$dir" ! -type l \( ! -writable -o \( -type d ! -executable \) \) -print -quit 2>/dev/null)" ||
                true
        fi
    else
        local parent
        parent="$(dirname "$dir")"
        while [ ! -e "$parent" ]; do parent="$(dirname "$parent")"; done
        [ -d "$parent" ] && [ -w "$parent" ] && [ -x "$parent" ] || blocker="$parent"
    fi
    [ -z "$blocker" ] && return 0
    case "$dir" in
        "$ROOT"/*) shown="${dir#"$ROOT"/}" ;;
        *) shown="$dir" ;;
    esac
    local owner user remove
    owner="$(stat -c %U "$blocker" 2>/dev/null || echo "another user")"
    user="$(id -un 2>/dev/null || id -u)"
    remove="sudo rm -rf $dir"
    command -v sudo >/dev/null 2>&1 || remove="su -c 'rm -rf $dir'"
    if [ "$blocker" = "$dir" ] || [ ! -e "$dir" ]; then
        echo "The build folder $shown/ cannot be written by $user: $blocker belongs to $owner." >&2
    else
        echo "The build folder $shown/ cannot be written by $user: $blocker in it belongs to $owner." >&2
    fi
    if [ -e "$dir" ] && [ "$owner" != "$user" ]; then
        cat >&2 <<EOF
It was probably left by a run as $owner. Remove it (as $owner) and run this command again:
    $remove
or build in another folder:
    ZANDOREL_BUILD_DIR=\$HOME/zandorel-build bash scripts/$(basename "$0")
EOF
    else
        cat >&2 <<EOF
Give yourself write permission there, or build in another folder:
    ZANDOREL_BUILD_DIR=\$HOME/zandorel-build bash scripts/$(basename "$0")
EOF
    fi
    exit 1
}

# configure_project [BUILD_TYPE] [CMAKE_ARGUMENT...]: warnings are errors
# in every build the scripts make.
configure_project() {
    local build_type="${1:-RelWithDebInfo}"
    shift || true
    require_writable_dir "$BUILD_DIR"
    mkdir -p "$BUILD_DIR"
    run_logged "$BUILD_DIR/configure.log" \
        cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" -DZANDOREL_WERROR=ON "$@"
}

# build_targets [TARGET...]: everything when no target is named.
build_targets() {
    local targets=()
    if [ $# -gt 0 ]; then
        targets=(--target "$@")
    fi
    run_logged "$BUILD_DIR/build.log" cmake --build "$BUILD_DIR" -j "$(nproc)" "${targets[@]}"
}

# build_project [BUILD_TYPE] [CMAKE_ARGUMENT...]: configures and builds everything.
build_project() {
    echo "Building everything in $(build_dir_name)/ (several minutes the first time)..."
    configure_project "$@"
    build_targets
}
