#!/usr/bin/env bash
# Fails when a C++ file of the project is not laid out as .clang-format says.
# With --fix, lays them out instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${sources[@]}"; then
  echo "Some files are not formatted; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "Formatting: all ${#sources[@]} files are formatted"
