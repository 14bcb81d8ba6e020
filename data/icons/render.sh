#!/usr/bin/env bash
# Renders the PNG icons from zandorel.svg. The PNGs are committed, so a build
# never needs this; run it after changing the SVG (needs rsvg-convert, from
# Debian's librsvg2-bin).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
for size in 16 24 32 48 256; do
    mkdir -p "${size}x${size}"
    rsvg-convert -w "$size" -h "$size" zandorel.svg -o "${size}x${size}/zandorel.png"
done
