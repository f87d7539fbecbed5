# Sourced by run.sh and test.sh: installs the Debian packages that building,
# testing and running Plotrun need, when any of them is missing.
plotrun_packages=(
  cmake make g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev qt6-tools-dev qt6-image-formats-plugins
  qt6-pdf-dev qt6-svg-dev
  libgl-dev libvulkan-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libtesseract-dev tesseract-ocr-eng
  clang libclang-rt-14-dev
  fonts-dejavu-core
  clang-format
  desktop-file-utils appstream dpkg-dev
  python3-dev pybind11-dev python3-numpy python3-distributed
)

ensure_packages() {
  local missing=() p
  for p in "${plotrun_packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Please run as root or install sudo: missing ${missing[*]}" >&2; return 1; }
    sudo=sudo
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

build_plotrun() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release "$@"
  cmake --build build -j"$(nproc)"
}
