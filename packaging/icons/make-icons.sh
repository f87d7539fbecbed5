#!/usr/bin/env bash
# Draws the program icon's PNG sizes from plotrun.svg (rsvg-convert, Debian
# package librsvg2-bin). The PNGs are committed, so building needs no converter.
set -euo pipefail
cd "$(dirname "$0")"
for s in 16 22 24 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" plotrun.svg -o "plotrun-$s.png"
done
