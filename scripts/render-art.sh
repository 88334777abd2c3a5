#!/usr/bin/env bash
# Re-renders the committed PNG artwork from its SVG sources in res/.
# The skin must be an opaque 24-bit picture of exactly 500x500 pixels.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
res="$root/res"

if ! command -v rsvg-convert >/dev/null || ! command -v convert >/dev/null; then
    "$root/scripts/install-deps.sh" librsvg2-bin
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Dates in PNG metadata would make every re-render a new binary for git.
to_png24() {
    convert "$1" -background white -alpha remove -alpha off -type TrueColor -strip \
        -define png:exclude-chunks=date,time "PNG24:$2"
}

rsvg-convert --width 500 --height 500 "$res/skin.svg" -o "$work/skin.png"
to_png24 "$work/skin.png" "$res/skin.png"

mkdir -p "$res/icons"
for size in 16 32 48; do
    rsvg-convert --width "$size" --height "$size" "$res/zalvo.svg" -o "$work/zalvo-$size.png"
    convert "$work/zalvo-$size.png" -strip -define png:exclude-chunks=date,time "PNG32:$res/icons/zalvo-$size.png"
done

identify "$res/skin.png" "$res/icons"/zalvo-*.png
