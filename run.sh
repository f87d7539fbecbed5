#!/usr/bin/env bash
# Installs what is missing, builds, and starts Plotrun.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages
build_plotrun -DPLOTRUN_TESTS=OFF -DPLOTRUN_BENCH=OFF
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<'MSG'
No display is available, so the Plotrun window cannot be shown.
To run it on a virtual display:
    sudo apt-get install xvfb xauth
    xvfb-run -s '-screen 0 1280x1024x24' ./build/app/plotrun
Meanwhile, the command-line scanner works without a display:
    ./build/cli/plotrun-scan --origin 60,60 --ref 580,420 --real-ref 10,100 \
        --area 61,61,580,419 --scan-width 26 resources/samples/sample-chart.bmp
MSG
  exit 1
fi
exec ./build/app/plotrun "$@"
