#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs NIMBO on Debian 12 / Ubuntu.
#   ./nimbo.sh run      install what is missing, build, start NIMBO
#   ./nimbo.sh demo     the same, replaying a synthesised flight in the window
#   ./nimbo.sh test     install what is missing, build, run every test
#   ./nimbo.sh package  build the Debian package build/nimbo_VERSION_ARCH.deb, check it with lintian
#   ./nimbo.sh fuzz [SECONDS]  build the libFuzzer targets with clang, run each SECONDS (60)
# All are safe to repeat: packages already present are skipped and builds are incremental.
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(
  cmake ninja-build g++ pkg-config git
  libsndfile1-dev libsoxr-dev libcli11-dev nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev sox
  qt6-base-dev qt6-multimedia-dev fonts-ipafont-gothic
  pulseaudio pulseaudio-utils xvfb imagemagick openbox x11-utils
  help2man desktop-file-utils dpkg-dev file lintian appstream
  clang libclang-rt-dev
  python3 python3-numpy
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

# The package, then lintian on it: an error or warning fails the step (info tags are shown).
package() {
  build build
  (cd build && rm -f nimbo_*.deb && cpack -G DEB)
  local deb
  deb=$(ls build/nimbo_*.deb)
  if command -v lintian >/dev/null; then
    lintian --fail-on error,warning --display-info "$deb"
    echo "lintian: no errors or warnings"
  fi
  echo "Install: sudo apt install ./$deb   Remove: sudo apt remove nimbo"
}

run_tests() {
  build build
  # The package too, so that the lintian test checks what ./nimbo.sh package would ship.
  (cd build && rm -f nimbo_*.deb && cpack -G DEB >/dev/null)
  (cd build && ctest --output-on-failure -j "$(jobs)" -LE soak)
  # The soak on its own: 10,000-frame flights through a pipe (tests/soak_test.cpp).
  (cd build && ctest --output-on-failure -j "$(jobs)" -L soak)
  # The core and the tools again under AddressSanitizer and UndefinedBehaviorSanitizer.
  build build-asan -DCMAKE_BUILD_TYPE=Debug -DNIMBO_GUI=OFF -DNIMBO_BENCH=OFF -DNIMBO_SANITIZE=ON \
    -DCMAKE_CXX_FLAGS="-O1"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --output-on-failure -j "$(jobs)")
  run_tsan
  # Every fuzz target briefly, from a fixed seed so that CI repeats itself; ./nimbo.sh fuzz
  # runs them longer, from a fresh seed each time.
  run_fuzz 20 1
}

# The fuzz targets and the longest input each takes (bytes).
FUZZ_TARGETS=(fuzz_block:115204 fuzz_frames:1761 fuzz_repair:4096 fuzz_settings:4096
  fuzz_log_line:8192 fuzz_audio_file:65536 fuzz_iq:65542 fuzz_rs41:2048)

# Builds the fuzz targets (clang, ASan, UBSan) in build-fuzz and runs each for $1 seconds
# from its committed seeds (fuzz/corpus/NAME) plus what earlier runs found
# (build-fuzz/corpus/NAME). A finding stops the run: its input is kept in build-fuzz/findings.
run_fuzz() { # seconds [seed]
  local seconds=${1:-60} seed=${2:-0}
  [[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: SECONDS must be a whole number" >&2; exit 2; }
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNIMBO_FUZZ=ON -DNIMBO_GUI=OFF -DNIMBO_TOOLS=OFF -DNIMBO_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j "$(jobs)" --target nimbo_fuzzers
  mkdir -p build-fuzz/findings
  # Scratch files on a RAM disk where there is one: the settings target saves with fsync.
  local scratch=${TMPDIR:-/tmp}
  [ -d /dev/shm ] && [ -w /dev/shm ] && scratch=/dev/shm
  for entry in "${FUZZ_TARGETS[@]}"; do
    local name=${entry%%:*} maxLen=${entry##*:}
    local log=build-fuzz/$name.log
    mkdir -p "build-fuzz/corpus/$name"
    if ! TMPDIR=$scratch ASAN_OPTIONS=detect_leaks=1 "build-fuzz/fuzz/$name" \
        -max_total_time="$seconds" -seed="$seed" -max_len="$maxLen" -timeout=30 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build-fuzz/findings/$name-" \
        "build-fuzz/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
      tail -n 40 "$log" >&2
      echo "fuzz: $name found a fault; its input is in build-fuzz/findings/ (log: $log)" >&2
      exit 1
    fi
    echo "fuzz: $name $(grep -o 'number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$') runs in ${seconds} s, no finding"
  done
}

# ThreadSanitizer (GCC): the capture ring between two threads, and the receiver chain, whose
# function clones must stay off under the sanitizer. The capture hand-off tests are not run
# here: Qt is not built with the sanitizer, and its own thread hand-offs (GLib wake-ups,
# blocking queued calls, thread ends) are reported as races.
run_tsan() {
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1" \
    -DNIMBO_TSAN=ON -DNIMBO_TOOLS=OFF -DNIMBO_BENCH=OFF >/dev/null
  cmake --build build-tsan -j "$(jobs)" --target nimbo_capture_ring_test nimbo_core_tests
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1"
  build-tsan/tests/gui/nimbo_capture_ring_test
  build-tsan/tests/nimbo_core_tests --gtest_filter='FrameSync.*:FrontEnd.*:BlockFir.*'
  unset TSAN_OPTIONS
}

case "${1:-}" in
  run) install_missing; run ;;
  demo) install_missing; shift; demo "$@" ;;
  test) install_missing; run_tests ;;
  package) install_missing; package ;;
  fuzz) install_missing; run_fuzz "${2:-60}" ;;
  *) echo "usage: $0 run|demo|test|package|fuzz [SECONDS]" >&2; exit 2 ;;
esac
