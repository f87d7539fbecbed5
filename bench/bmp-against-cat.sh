#!/usr/bin/env bash
# The scanner end to end on a large 24-bit BMP against reading the file once
# with cat, both on a warm cache: the fastest of N runs of each, and the
# middle one.
#   bench/bmp-against-cat.sh [SIDE] [RUNS]     (default 10000 pixels, 9 runs)
set -euo pipefail
side=${1:-10000}
runs=${2:-9}
build=${BUILD_DIR:-$(dirname "$0")/../build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$build/bench/plotrun-make-chart" "$side" "$side" "$dir/chart.bmp"
args=(--origin 0,0 --ref "$side,$side" --real-ref 1,1 --area "0,0,$side,$side" ${FIELDS:+--fields $FIELDS})
cat "$dir/chart.bmp" >/dev/null # into the cache

ms() { local a b; a=$(date +%s%N); "$@" >/dev/null; b=$(date +%s%N); echo $(((b - a) / 1000)); }
cats=() scans=()
for ((i = 0; i < runs; i++)); do
    cats+=("$(ms cat "$dir/chart.bmp")")
    scans+=("$(ms "$build/cli/plotrun-scan" "${args[@]}" "$dir/chart.bmp" -o "$dir/out.txt")")
done
sorted() { printf '%s\n' "$@" | sort -n; }
mapfile -t c < <(sorted "${cats[@]}")
mapfile -t s < <(sorted "${scans[@]}")
mid=$((runs / 2))
echo "file: $(stat -c %s "$dir/chart.bmp") bytes, $side x $side, 24-bit; $(wc -l <"$dir/out.txt") result rows"
printf 'cat FILE > /dev/null   fastest %6.1f ms   middle %6.1f ms\n' "$(bc -l <<<"${c[0]}/1000")" "$(bc -l <<<"${c[$mid]}/1000")"
printf 'plotrun-scan           fastest %6.1f ms   middle %6.1f ms\n' "$(bc -l <<<"${s[0]}/1000")" "$(bc -l <<<"${s[$mid]}/1000")"
printf 'ratio                  fastest %6.2f      middle %6.2f\n' "$(bc -l <<<"${s[0]}/${c[0]}")" "$(bc -l <<<"${s[$mid]}/${c[$mid]}")"
