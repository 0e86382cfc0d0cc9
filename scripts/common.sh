# Shared by scripts/run and scripts/test: install what is missing, then configure and build in build/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVANTA_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
  zlib1g-dev libpng-dev libjpeg62-turbo-dev lzma-dev libarchive-dev libassimp-dev
  libcpp-httplib-dev libsqlite3-dev libssl-dev libpci-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth imagemagick fonts-dejavu-core fonts-liberation2
  7zip clang
)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

build_all() {
  local werror="${ORVANTA_WERROR:-OFF}"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_WERROR="$werror" >/dev/null
  cmake --build "$BUILD" --parallel "$(nproc)"
}
