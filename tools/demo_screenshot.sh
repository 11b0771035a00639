#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the picture of `./nimbo.sh demo` ten seconds after it was started: a virtual X
# display (Xvfb) with openbox (tests/gui/with_wm.sh), a private PulseAudio server as a desktop would have. A first
# run makes the demo flight (once, as a newcomer's first run does after the build) and is
# ended as soon as the window runs; the picture is of a second run. The window is placed at
# the top left of the screen through its settings file (build/app/nimbo.ini, put back
# afterwards).
#   tools/demo_screenshot.sh [OUT_PNG] [SECONDS]      (defaults: docs/demo.png, 10)
# Needs: Xvfb (xvfb), openbox, import (imagemagick), pulseaudio; a finished build in build/.
set -eu

here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/docs/demo.png}
case "$out" in /*) ;; *) out="$(pwd)/$out" ;; esac
wait=${2:-10}
cd "$here"
[ -x build/app/nimbo ] || { echo "demo_screenshot.sh: build NIMBO first (./nimbo.sh run)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-demo.XXXXXX")
ini=build/app/nimbo.ini
[ -f "$ini" ] && cp "$ini" "$work/saved.ini"
restore() {
    if [ -f "$work/saved.ini" ]; then cp "$work/saved.ini" "$ini"; else rm -f "$ini"; fi
    rm -rf "$work"
}
trap restore EXIT INT TERM
printf '[Form]\r\nMainTop=0\r\nMainLeft=0\r\nMainWidth=915\r\nMainHeight=716\r\n' >"$ini"

cat >"$work/shoot.sh" <<'INNER'
set -u
work=$1 out=$2 wait=$3
demo=""
stop() {
    [ -n "$demo" ] && { kill "$demo" 2>/dev/null; wait "$demo" 2>/dev/null; }
    return 0
}
trap stop EXIT
./nimbo.sh demo >"$work/first.log" 2>&1 &
demo=$!
for _ in $(seq 600); do
    case "$(readlink "/proc/$demo/exe" 2>/dev/null)" in */app/nimbo) break ;; esac
    sleep 0.1
done
kill "$demo"; wait "$demo" 2>/dev/null
start=$(date +%s.%N)
./nimbo.sh demo >"$work/demo.log" 2>&1 &
demo=$!
sleep "$wait"
taken=$(date +%s.%N)
import -window root -crop 915x716+0+0 +repage "$out"
echo "demo_screenshot.sh: picture taken $(awk -v a="$start" -v b="$taken" 'BEGIN { printf "%.1f", b - a }') s after the start"
INNER

tests/gui/with_pulse.sh tests/gui/with_wm.sh sh "$work/shoot.sh" "$work" "$out" "$wait"
echo "demo_screenshot.sh: wrote $out"
