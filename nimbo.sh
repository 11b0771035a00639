#!/usr/bin/env bash
# Sets up, builds and runs NIMBO on Debian 12 / Ubuntu.
#   ./nimbo.sh run    install what is missing, build, start NIMBO
#   ./nimbo.sh test   install what is missing, build, run every test
# Both are safe to repeat: packages already present are skipped and builds are incremental.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config git
  libsndfile1-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev sox
  qt6-base-dev qt6-multimedia-dev fonts-ipafont-gothic
  pulseaudio pulseaudio-utils xvfb imagemagick openbox
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

run() {
  build build
  if [ -x build/app/nimbo ]; then
    exec build/app/nimbo
  fi
  # Without the window: decode a freshly synthesised flight and print what it finds.
  local wav=build/demo-flight.wav
  build/tools/synth/nimbo-synth --frames 12 --serial N1234567 --ebn0 14 -o "$wav"
  exec build/tools/nimbo-decode "$wav"
}

run_tests() {
  build build
  (cd build && ctest --output-on-failure -j "$(jobs)")
  # The core and the tools again under AddressSanitizer and UndefinedBehaviorSanitizer.
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DNIMBO_GUI=OFF -DNIMBO_BENCH=OFF -DNIMBO_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS="-O1"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$(jobs)")
}

case "${1:-}" in
  run) install_missing; run ;;
  test) install_missing; run_tests ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac
