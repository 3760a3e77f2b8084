#!/usr/bin/env bash
# Renders the skin's SVG sources (data/skin-src) into the PNGs the program loads (data/skin).
# The build never runs this: the PNGs are committed. Needs rsvg-convert (Debian: librsvg2-bin).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
src="$root/data/skin-src"
out="$root/data/skin"

command -v rsvg-convert >/dev/null || { echo "render-skin: rsvg-convert missing (apt-get install librsvg2-bin)" >&2; exit 1; }

render() { # svg png [width height]
    mkdir -p "$(dirname "$2")"
    if [[ $# -ge 4 ]]; then
        rsvg-convert -w "$3" -h "$4" "$1" -o "$2"
    else
        rsvg-convert "$1" -o "$2"
    fi
}

# Plain pictures: each SVG becomes the PNG of the same name at its own size.
for dir in Control power common/caption; do
    for svg in "$src/$dir"/*.svg; do
        render "$svg" "$out/$dir/$(basename "${svg%.svg}").png"
    done
done
for name in background skin_bg_1 skin_bg_2 skin_bg_3 no_device tray; do
    render "$src/common/$name.svg" "$out/common/$name.png"
done
render "$src/common/logo.svg" "$out/common/logo.png"
cp "$src/common/logo.svg" "$out/common/logo.svg"
mkdir -p "$root/data/linux"
cp "$src/common/logo.svg" "$root/data/linux/org.q417.Q417.svg"

# Device icons: one template per device class, four states each. The template's @FG@ is the
# glyph colour and @SYNC@ the opacity of the synchronised-lighting badge.
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
states=("normal:#8c96a5:0" "selected:#1fd1e6:0" "synchro_normal:#8c96a5:1" "synchro_selected:#1fd1e6:1")
for svg in "$src/common/device_ico"/*.svg; do
    stem="$(basename "${svg%.svg}")"
    for state in "${states[@]}"; do
        IFS=: read -r name colour badge <<<"$state"
        sed -e "s/@FG@/$colour/g" -e "s/@SYNC@/$badge/g" "$svg" >"$tmp/icon.svg"
        render "$tmp/icon.svg" "$out/common/device_ico/${stem}_device_${name}.png"
    done
done

echo "render-skin: PNGs written under $out"
