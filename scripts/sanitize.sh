#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer
# in build-asan/ and runs it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

install_packages "${PACKAGES[@]}"
ZANDOREL_BUILD_DIR="$ROOT/build-asan" BUILD_DIR="$ROOT/build-asan"
build_project Debug -DZANDOREL_SANITIZE=ON -DZANDOREL_BUILD_BENCH=OFF
cd "$BUILD_DIR"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j 2
