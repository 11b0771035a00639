#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes pictures of the main window decoding synthesised sondes: nimbo runs on a virtual
# X display (Xvfb, by tests/gui/with_wm.sh, without a window manager) and listens to a private PulseAudio server into which nimbo-synth's
# signal is played.
#   tools/screenshot.sh [BUILD_DIR] [DOCS_DIR]      (defaults: build, docs)
# Writes main-window.png (eight frames in) and three flights half a minute in, with the
# chart scrolling a row a second: flight-fm.png (clean FM Det), flight-if.png (clean
# 12 kHz IF) and flight-noisy.png (FM Det at Eb/N0 14 dB); and rs41.png, an RS41 flight
# replayed with the RS41 chosen. SHOTS="rs41 ..." takes only the pictures named.
# Needs: Xvfb (xvfb), import (imagemagick), pulseaudio, paplay/pactl (pulseaudio-utils).
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
docs=${2:-$here/docs}
case "$docs" in /*) ;; *) docs="$(pwd)/$docs" ;; esac
mkdir -p "$docs"
for exe in "$build/app/nimbo" "$build/tools/synth/nimbo-synth"; do
    [ -x "$exe" ] || { echo "screenshot.sh: $exe is missing; build it first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-shot.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM

cat >"$work/shoot.sh" <<'INNER'
set -u
dir=$1 out=$2 wait=$3
nimbo="" player=""
stop() {
    for pid in $player $nimbo; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
    return 0
}
trap stop EXIT
"$dir/nimbo" >"$dir/nimbo.log" 2>&1 &
nimbo=$!
sleep 2
paplay --device=nimbo_sink "$dir/sonde.wav" &
player=$!
sleep "$wait"
import -window root -crop 915x716+0+0 +repage "$out"
INNER

# The same with the recording replayed by nimbo itself (--replay), SPEED times real time.
cat >"$work/replay.sh" <<'INNER'
set -u
dir=$1 out=$2 wait=$3 speed=$4
"$dir/nimbo" --replay "$dir/sonde.wav" --replay-speed "$speed" >"$dir/nimbo.log" 2>&1 &
nimbo=$!
trap 'kill "$nimbo" 2>/dev/null; wait "$nimbo" 2>/dev/null; true' EXIT
sleep "$wait"
import -window root -crop 915x716+0+0 +repage "$out"
INNER

wanted() {
    [ -z "${SHOTS:-}" ] && return 0
    case " $SHOTS " in *" $1 "*) return 0 ;; esac
    return 1
}

# shoot NAME SECONDS EXTRA_INI SYNTH_ARGS...: a program folder of its own with the window at
# the top left, its smallest width and the designed client height, signal from the system
# default input (the server's nimbo_in); the picture is taken SECONDS into the playback.
shoot() {
    name=$1 wait=$2 extra=$3
    shift 3
    wanted "$name" || return 0
    dir="$work/$name"
    mkdir -p "$dir"
    cp "$build/app/nimbo" "$dir/nimbo"
    printf '[Form]\r\nMainTop=0\r\nMainLeft=0\r\nMainWidth=915\r\nMainHeight=716\r\n%b' \
        "$extra" >"$dir/nimbo.ini"
    "$build/tools/synth/nimbo-synth" "$@" -o "$dir/sonde.wav"
    inner="$work/shoot.sh"
    [ -n "${SPEED:-}" ] && inner="$work/replay.sh"
    "$here/tests/gui/with_pulse.sh" "$here/tests/gui/with_wm.sh" --bare \
        sh "$inner" "$dir" "$docs/$name.png" "$wait" ${SPEED:-}
    echo "screenshot.sh: wrote $docs/$name.png"
}

# The pictures in docs/ were taken with square pulses and noise added to the audio (the
# signal models nimbo-synth had then; --square and --audio-noise keep them).
# Eight frames in: serial, frame number, channels and frequency are all showing. The first
# calibration piece is 28, so piece 0 (which carries the frequency) comes fifth.
shoot main-window 8.5 '' -n 20 --serial N1234567 --first-piece 28 --square
# Half a minute of flight with one chart row a second (GraphScr=0).
flight='GraphScr=0\r\n'
shoot flight-fm 30 "$flight" -n 40 --serial N1234567 --first-piece 28 --square
shoot flight-if 30 "$flight[Wave]\r\nDemodType=1\r\n" -n 40 --serial N1234567 --first-piece 28 --if --square
shoot flight-noisy 30 "$flight" -n 40 --serial N1234567 --first-piece 28 --ebn0 14 \
    --square --audio-noise
# An RS41 climbing past 5 km, replayed 50 times faster than it flew, one chart row a second.
SPEED=50 shoot rs41 22 "${flight}[Wave]\r\nSonde=1\r\n" --sonde rs41 -n 1300 \
    --site 46.05,16.11 --ebn0 14
