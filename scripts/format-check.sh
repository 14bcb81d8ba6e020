#!/usr/bin/env bash
# Fails when a C++ file of the project differs from what clang-format makes
# of it (the committed .clang-format), and names the files.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_packages clang-format
cd "$ROOT"
mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' | sort)
if ! clang-format --dry-run -Werror "${files[@]}" 2>/tmp/zandorel-format.$$; then
    grep -o '^[^:]*\.\(cpp\|h\):' /tmp/zandorel-format.$$ | sort -u | sed 's/:$//; s/^/not formatted: /'
    rm -f /tmp/zandorel-format.$$
    echo "Run: clang-format -i on the files above." >&2
    exit 1
fi
rm -f /tmp/zandorel-format.$$
echo "All ${#files[@]} C++ files are formatted."
