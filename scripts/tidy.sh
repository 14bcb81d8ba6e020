#!/usr/bin/env bash
# Runs clang-tidy with the committed .clang-tidy over the program's sources
# (src/) and fails on any finding. Builds a compile database in build-tidy/.
#   bash scripts/tidy.sh [FILE...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages "${PACKAGES[@]}" clang-tidy
TIDY_DIR="$ROOT/build-tidy"
require_writable_dir "$TIDY_DIR"
cmake -S "$ROOT" -B "$TIDY_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
    -DZANDOREL_WERROR=ON -DZANDOREL_BUILD_BENCH=OFF >/dev/null
# Generated sources (moc, resources) must exist for the database to be usable.
cmake --build "$TIDY_DIR" -j "$(nproc)" --target zandorel_ui_autogen >/dev/null 2>&1 || true
cd "$ROOT"
if [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(find src -name '*.cpp' | sort)
fi
run-clang-tidy -quiet -p "$TIDY_DIR" -j "$(nproc)" "${files[@]}" 2>/dev/null | sed 's/\x1b\[[0-9;]*m//g' | grep -v '^clang-tidy\|warnings generated\|^Suppressed\|^Use -header-filter\|^$' | tee /tmp/zandorel-tidy.log || true
if grep -q 'error:\|warning:' /tmp/zandorel-tidy.log; then
    echo "clang-tidy found the above." >&2
    exit 1
fi
echo "clang-tidy: ${#files[@]} files clean."
