#!/usr/bin/env bash
# Renders the hicolor PNGs of the application icon from its SVG with rsvg-convert (Debian's
# librsvg2-bin, installed by ./bootstrap). The PNGs are committed; run this after editing
# data/icons/io.orvane.Orvane.svg.
#   tools/render_icons.sh            writes data/icons/hicolor/NxN/apps/io.orvane.Orvane.png
#   tools/render_icons.sh --check    fails when a committed PNG differs from a fresh rendering
set -euo pipefail
cd "$(dirname "$0")/.."
id=io.orvane.Orvane
svg=data/icons/$id.svg
sizes=(16 24 32 48 64 128 256)

check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *) echo "usage: tools/render_icons.sh [--check]" >&2; exit 2 ;;
esac

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
stale=()
for size in "${sizes[@]}"; do
  png=data/icons/hicolor/${size}x${size}/apps/$id.png
  rsvg-convert --width "$size" --height "$size" --format png "$svg" --output "$scratch/$size.png"
  if $check; then
    cmp -s "$scratch/$size.png" "$png" || stale+=("$png")
  else
    mkdir -p "$(dirname "$png")"
    mv "$scratch/$size.png" "$png"
  fi
done
if [ ${#stale[@]} -gt 0 ]; then
  echo "render_icons: ${stale[*]} differ from $svg; run tools/render_icons.sh" >&2
  exit 1
fi
