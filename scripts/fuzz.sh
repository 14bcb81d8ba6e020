#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60).
#   bash scripts/fuzz.sh [SECONDS] [TARGET...]
# New inputs go to build-fuzz/corpus/<target>/; the committed seeds under
# tests/fuzz/corpus/ are read, never written. Crashes are left as
# build-fuzz/crash-* files.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

SECONDS_EACH="${1:-60}"
shift || true
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
    TARGETS=(listing_fuzz placeholder_fuzz updatelog_fuzz versioninfo_fuzz settings_fuzz cutpage_fuzz)
fi

install_packages "${PACKAGES[@]}" clang libclang-rt-14-dev
FUZZ_DIR="$ROOT/build-fuzz"
require_writable_dir "$FUZZ_DIR"
cmake -S "$ROOT" -B "$FUZZ_DIR" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZANDOREL_WERROR=ON -DZANDOREL_FUZZ=ON -DZANDOREL_BUILD_GUI=OFF -DZANDOREL_BUILD_TESTS=OFF -DZANDOREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$FUZZ_DIR" -j "$(nproc)" --target "${TARGETS[@]}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
status=0
for target in "${TARGETS[@]}"; do
    corpus="$FUZZ_DIR/corpus/$target"
    mkdir -p "$corpus"
    echo "== $target: ${SECONDS_EACH}s"
    if ! (cd "$FUZZ_DIR" && "./tests/fuzz/$target" -max_total_time="$SECONDS_EACH" -max_len=65536 \
        -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 "$corpus" "$ROOT/tests/fuzz/corpus/$target" \
        2>"$FUZZ_DIR/$target.log"); then
        echo "$target FAILED; see $FUZZ_DIR/$target.log"
        tail -n 40 "$FUZZ_DIR/$target.log"
        status=1
    else
        grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$FUZZ_DIR/$target.log" || true
    fi
done
exit $status
