#!/usr/bin/env bash
# The engine, file and scanner tests, and those of a figure's series (curves
# followed alone and together, markers), under the address and undefined-behaviour
# sanitizers, in a build of their own; the window is not built. Any report
# fails the run. Clang builds it, so that CI also finds code that only GCC
# accepts.
set -euo pipefail
cd "$(dirname "$0")/.."
clangxx=$(command -v clang++ || command -v clang++-14) || {
  echo "clang++ is missing; scripts/ensure-packages.sh installs it" >&2
  exit 1
}
cmake -S . -B build-sanitize -DCMAKE_CXX_COMPILER="$clangxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLOTRUN_SANITIZE=ON \
  -DPLOTRUN_BENCH=OFF -DPLOTRUN_FUZZ=OFF >/dev/null
cmake --build build-sanitize -j"$(nproc)" --target plotrun_engine_tests plotrun_cli_tests plotrun_files_tests plotrun_series_tests \
  plotrun_markers_tests plotrun_follow_tests plotrun-scan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
for t in plotrun_engine_tests plotrun_cli_tests plotrun_files_tests plotrun_series_tests plotrun_markers_tests \
  plotrun_follow_tests; do
  echo "== $t (sanitizers)"
  build-sanitize/tests/$t --gtest_brief=1
done
