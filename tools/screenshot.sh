#!/bin/sh
# Takes a picture of the main window decoding a synthesised sonde: nimbo runs on a virtual
# X display (Xvfb) and listens to a private PulseAudio server into which nimbo-synth's
# signal is played.
#   tools/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]      (defaults: build, docs/main-window.png)
# Needs: Xvfb (xvfb), import (imagemagick), pulseaudio, paplay/pactl (pulseaudio-utils).
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
out=${2:-$here/docs/main-window.png}
case "$out" in /*) ;; *) out="$(pwd)/$out" ;; esac
for exe in "$build/app/nimbo" "$build/tools/synth/nimbo-synth"; do
    [ -x "$exe" ] || { echo "screenshot.sh: $exe is missing; build it first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-shot.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

# A program folder of its own: the window at the top left, its smallest width and the
# designed client height, signal from the system default input (the server's nimbo_in).
cp "$build/app/nimbo" "$work/nimbo"
printf '[Form]\r\nMainTop=0\r\nMainLeft=0\r\nMainWidth=915\r\nMainHeight=716\r\n' >"$work/nimbo.ini"
# The first calibration piece is 28, so piece 0 (which carries the frequency) comes fifth.
"$build/tools/synth/nimbo-synth" -n 20 --serial N1234567 --first-piece 28 -o "$work/sonde.wav"

cat >"$work/shoot.sh" <<'INNER'
set -u
work=$1 out=$2
xvfb="" nimbo="" player=""
stop() {
    for pid in $player $nimbo $xvfb; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    return 0
}
trap stop EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "screenshot.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
QT_QPA_PLATFORM=xcb "$work/nimbo" >"$work/nimbo.log" 2>&1 &
nimbo=$!
sleep 2
paplay --device=nimbo_sink "$work/sonde.wav" &
player=$!
# Eight frames in: serial, frame number, channels and frequency are all showing.
sleep 8.5
import -window root -crop 915x716+0+0 +repage "$out"
INNER
"$here/tests/gui/with_pulse.sh" sh "$work/shoot.sh" "$work" "$out"
echo "screenshot.sh: wrote $out"
