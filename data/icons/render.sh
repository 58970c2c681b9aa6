#!/usr/bin/env bash
# Renders the program's icon (hourgrid.svg) into the hicolor sizes installed with
# the program and into the window icon compiled into it. Run after changing the
# SVG; the PNGs are kept in the repository so that building needs no SVG renderer.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for s in 16 32 48 64 128 256; do
  mkdir -p "hicolor/${s}x${s}/apps"
  rsvg-convert -w "$s" -h "$s" hourgrid.svg -o "hicolor/${s}x${s}/apps/hourgrid.png"
done
cp hicolor/64x64/apps/hourgrid.png ../../src/ui/qt/icons/hourgrid.png
cp hicolor/128x128/apps/hourgrid.png ../../src/ui/qt/icons/hourgrid@2x.png
