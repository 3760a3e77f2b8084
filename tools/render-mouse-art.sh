#!/bin/sh
# Renders the mouse page art of the skin from its SVG sources (needs rsvg-convert, Debian
# package librsvg2-bin). Run from anywhere; the PNGs land in data/skin/Device/.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
src="$here/data/skin-src/mouse"
out="$here/data/skin/Device"
mkdir -p "$out"
rsvg-convert -w 300 -h 420 -o "$out/mouse_top.png" "$src/mouse_top.svg"
rsvg-convert -w 32 -h 32 -o "$out/light_glow.png" "$src/light_glow.svg"
echo "rendered into $out"
