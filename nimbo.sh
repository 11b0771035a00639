#!/usr/bin/env bash
# Sets up, builds and runs NIMBO on Debian 12 / Ubuntu.
#   ./nimbo.sh run      install what is missing, build, start NIMBO
#   ./nimbo.sh demo     the same, replaying a synthesised flight in the window
#   ./nimbo.sh test     install what is missing, build, run every test
#   ./nimbo.sh package  build the Debian package build/nimbo_VERSION_ARCH.deb
# All are safe to repeat: packages already present are skipped and builds are incremental.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config git
  libsndfile1-dev libsoxr-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev sox
  qt6-base-dev qt6-multimedia-dev fonts-ipafont-gothic
  pulseaudio pulseaudio-utils xvfb imagemagick openbox
  help2man desktop-file-utils dpkg-dev file
)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

jobs() { nproc 2>/dev/null || echo 2; }

build() { # build-dir, extra cmake options...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
  cmake --build "$dir" -j "$(jobs)"
}

# Whether a window can be shown: an X or Wayland display, or Qt's offscreen platform.
has_display() {
  [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "${QT_QPA_PLATFORM:-}" = offscreen ]
}

# Without the window: decode a freshly synthesised flight and print what it finds.
headless_demo() {
  local wav=build/demo-headless.wav
  build/tools/synth/nimbo-synth --flight --frames 12 --serial N1234567 --ebn0 18 -o "$wav"
  exec build/tools/nimbo-decode "$wav"
}

run() {
  build build
  if [ -x build/app/nimbo ] && has_display; then
    exec build/app/nimbo
  fi
  [ -x build/app/nimbo ] && echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): decoding a synthesised flight without the window instead."
  headless_demo
}

# The first ten minutes of a synthesised flight replayed in the window ten times faster
# than real time, so that the calibration table fills and the chart starts within seconds;
# extra arguments go to nimbo (--replay-speed 1 plays it at real time).
demo() {
  build build
  if ! [ -x build/app/nimbo ] || ! has_display; then
    echo "No display (DISPLAY and WAYLAND_DISPLAY are empty): decoding a synthesised flight without the window instead."
    headless_demo
  fi
  local wav=build/demo-flight-600.wav
  if ! [ "$wav" -nt build/tools/synth/nimbo-synth ]; then
    echo "Synthesising the demo flight (once)"
    build/tools/synth/nimbo-synth --flight --frames 600 --serial N1234567 --ebn0 20 -o "$wav"
  fi
  exec build/app/nimbo --replay "$wav" --replay-speed 10 "$@"
}

package() {
  build build
  (cd build && rm -f nimbo_*.deb && cpack -G DEB)
  local deb
  deb=$(ls build/nimbo_*.deb)
  echo "Install: sudo apt install ./$deb   Remove: sudo apt remove nimbo"
}

run_tests() {
  build build
  (cd build && ctest --output-on-failure -j "$(jobs)" -LE soak)
  # The soak on its own: 10,000-frame flights through a pipe (tests/soak_test.cpp).
  (cd build && ctest --output-on-failure -j "$(jobs)" -L soak)
  # The core and the tools again under AddressSanitizer and UndefinedBehaviorSanitizer.
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DNIMBO_GUI=OFF -DNIMBO_BENCH=OFF -DNIMBO_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS="-O1"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$(jobs)")
}

case "${1:-}" in
  run) install_missing; run ;;
  demo) install_missing; shift; demo "$@" ;;
  test) install_missing; run_tests ;;
  package) install_missing; package ;;
  *) echo "usage: $0 run|demo|test|package" >&2; exit 2 ;;
esac
