#!/usr/bin/env bash
# Runs the fuzz target for a bounded number of inputs over the seed corpus.
# New inputs go to a scratch folder, so the corpus changes only by hand; a
# finding leaves its input in the working folder as crash-*, oom-* or timeout-*.
set -euo pipefail
fuzzer=$1 corpus=$2 runs=${3:-60000}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$fuzzer" -runs="$runs" -max_total_time=45 -seed=1 -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$scratch" "$corpus"
