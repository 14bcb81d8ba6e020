#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs what is missing from Debian's
# packages and builds the project with CMake and Ninja.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${ZANDOREL_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-qpa-plugins libpcre2-dev libpugixml-dev libcpp-httplib-dev
    libmicrohttpd-dev qt6-translations-l10n qt6-wayland
    libgtest-dev libbenchmark-dev libsimdjson-dev jq
    python3 fonts-noto-cjk
)

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
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_project() {
    local build_type="${1:-RelWithDebInfo}"
    shift || true
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$build_type" "$@" >/dev/null
    cmake --build "$BUILD_DIR" -j "$(nproc)"
}
