#!/usr/bin/env bash
# Builds the Debian package from a build folder into a folder of its own and
# checks its name, its dependencies and that it holds every installed file.
# With PYTHON, the Python module is expected too, and must import from the
# package's files with that interpreter.
# Usage: check-debian-package.sh CPACK BUILD_DIR OUT_DIR APP_ID [PYTHON]
set -euo pipefail
cpack=$1 build=$2 out=$3 id=$4 python=${5:-}

rm -rf "$out"
mkdir -p "$out"
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
  cat "$out/cpack.log"
  exit 1
fi
shopt -s nullglob
debs=("$out"/plotrun_*.deb)
if [ ${#debs[@]} -ne 1 ]; then
  echo "expected one plotrun_*.deb in $out, found ${#debs[@]}"
  exit 1
fi
deb=${debs[0]}
echo "package: $deb"

failed=0
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = plotrun ] || { echo "package name is '$(field Package)'"; failed=1; }
depends=$(field Depends)
echo "Depends: $depends"
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6charts6 libqt6pdf6 libqt6svg6 libtesseract5 tesseract-ocr-eng; do
  grep -q "\b$lib\b" <<<"$depends" || { echo "Depends lacks $lib"; failed=1; }
done

# "-rw-r--r-- root/root 1234 2026-01-01 12:00 ./usr/bin/plotrun" -> "/usr/bin/plotrun"
contents=$(dpkg-deb -c "$deb" | sed -E 's/^.* [0-9]{2}:[0-9]{2} \.//')
expected=(
  /usr/bin/plotrun
  /usr/bin/plotrun-scan
  "/usr/share/plotrun/Plotrun Help.html"
  /usr/share/plotrun/ink-group.png
  /usr/share/plotrun/counted-pixels.png
  /usr/share/plotrun/points-on-picture.png
  "/usr/share/applications/$id.desktop"
  "/usr/share/metainfo/$id.metainfo.xml"
  /usr/share/man/man1/plotrun-scan.1.gz
  /usr/share/icons/hicolor/scalable/apps/plotrun.svg
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/plotrun.png")
done
for f in "${expected[@]}"; do
  grep -qxF "$f" <<<"$contents" || { echo "missing from the package: $f"; failed=1; }
done
if [ -n "$python" ]; then
  grep -qxF /usr/share/doc/plotrun/examples/dask_batch.py <<<"$contents" || { echo "missing from the package: the Dask example"; failed=1; }
  for f in '/plotrun/__init__\.py' '/plotrun/_plotrun\..*\.so'; do
    grep -qE "^/usr/lib/python3[^/]*/dist-packages$f\$" <<<"$contents" || { echo "missing from the package: $f"; failed=1; }
  done
  dpkg-deb -x "$deb" "$out/root"
  site=$(ls -d "$out"/root/usr/lib/python3*/dist-packages | head -n 1)
  if ! PYTHONPATH="$site" "$python" -c 'import plotrun, sys; sys.exit(not plotrun.__file__.startswith(sys.argv[1]))' "$site"; then
    echo "the packaged module does not import from $site"
    failed=1
  fi
fi
if [ $failed -ne 0 ]; then
  echo "--- the package holds:"
  echo "$contents"
  exit 1
fi
echo "the package holds all ${#expected[@]} files"
