# Shared by scripts/run and scripts/test: install what is missing, then configure and build in build/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ORVANTA_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libqt6opengl6-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri
  libegl-dev libegl-mesa0
  zlib1g-dev libpng-dev libjpeg62-turbo-dev libassimp-dev
  libcpp-httplib-dev libsqlite3-dev libssl-dev libpci-dev postgresql libpq-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth x11-utils imagemagick qt6-wayland weston xdotool fonts-dejavu-core fonts-liberation2 chromium
  p7zip-full 7zip clang clang-format clang-tidy
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

# Every tracked C++ file as clang-format would write it; names the files that differ and fails.
check_format() {
  local files
  mapfile -t files < <(git -C "$ROOT" ls-files '*.cpp' '*.h')
  (cd "$ROOT" && clang-format --dry-run -Werror "${files[@]}")
}

# scripts/run and scripts/test share build/ with one configuration (warnings as errors, as CI builds),
# so whichever runs second rebuilds nothing the first one built.
configure_build() {
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANTA_WERROR=ON >/dev/null
}

build_all() {
  configure_build
  cmake --build "$BUILD" --parallel "$(nproc)"
}

# Only what running needs: the program, its disk helper, the gateway and the generated media.
build_runtime() {
  # An existing build folder is taken as it is configured; ninja re-runs cmake when a list changed.
  [ -f "$BUILD/build.ninja" ] || configure_build
  cmake --build "$BUILD" --parallel "$(nproc)" --target orvanta_runtime
}

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer, leak detection on, in a
# build folder of its own (no benchmarks: they time, they do not test).
SANITIZE_BUILD="${ORVANTA_SANITIZE_BUILD_DIR:-$ROOT/build-asan}"
build_sanitized() {
  cmake -S "$ROOT" -B "$SANITIZE_BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
    -DORVANTA_WERROR=ON -DORVANTA_BUILD_BENCH=OFF -DORVANTA_SANITIZE=address,undefined >/dev/null
  cmake --build "$SANITIZE_BUILD" --parallel "$(nproc)"
}

sanitizer_environment() {
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=0"
  export LSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/lsan.supp:print_suppressions=0"
  export UBSAN_OPTIONS="suppressions=$ROOT/tests/sanitizers/ubsan.supp:print_stacktrace=1:halt_on_error=1"
}
