#!/usr/bin/env bash
# Renders the PNG sizes of the icon from orvik.svg (Debian: librsvg2-bin).
# Run it after changing the drawing and commit the PNGs with it.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert --width "$size" --height "$size" orvik.svg --output "orvik-$size.png"
done
