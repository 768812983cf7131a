#!/usr/bin/env bash
# Renders the PNG icons from the scalable one. The PNGs are committed, so the
# build never needs a renderer; run this (`make icons`) after editing the SVG.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../data/icons"
for size in 48 256; do
    rsvg-convert -w "$size" -h "$size" com.dranvik.Quillmere.svg -o "com.dranvik.Quillmere-$size.png"
    echo "wrote data/icons/com.dranvik.Quillmere-$size.png"
done
