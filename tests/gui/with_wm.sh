#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command on a virtual X display (Xvfb, 1280 x 1024) under a real window manager
# (openbox), so that windows get frames as on a desktop. Exits 77 (skipped) when either
# program is missing. With --bare, no window manager (NIMBO_BARE_X=1 tells the command).
#   with_wm.sh [--bare] COMMAND [ARG...]
set -eu

bare=""
if [ "${1:-}" = "--bare" ]; then
    bare=1
    shift
fi

for program in Xvfb openbox; do
    if ! command -v "$program" >/dev/null 2>&1; then
        echo "with_wm.sh: $program is not installed; skipped" >&2
        exit 77
    fi
done

dir=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-wm.XXXXXX")
xvfb="" wm=""
cleanup() {
    for process in $wm $xvfb; do
        kill "$process" 2>/dev/null || true
        wait "$process" 2>/dev/null || true
    done
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

# wait_for NAME PID LOG TRIES PAUSE TEST...: until TEST holds, while PID lives.
wait_for() {
    name=$1 pid=$2 log=$3 limit=$4 pause=$5
    shift 5
    tries=0
    until "$@"; do
        tries=$((tries + 1))
        if [ "$tries" -gt "$limit" ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "with_wm.sh: $name did not start" >&2
            cat "$log" >&2
            exit 1
        fi
        sleep "$pause"
    done
}
wm_named() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"
}

# Xvfb picks a free display number itself and writes it to descriptor 3 when it is ready,
# so that runs side by side never take the same one.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
wait_for Xvfb "$xvfb" "$dir/xvfb.log" 100 0.1 test -s "$dir/display"
export DISPLAY=":$(cat "$dir/display")" QT_QPA_PLATFORM=xcb
if [ -n "$bare" ]; then
    export NIMBO_BARE_X=1
else
    HOME="$dir" openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    wm=$!
    # openbox has taken over once the root window names it; on a busy machine that can take
    # more than a second, and a window shown before then is placed without a frame.
    if command -v xprop >/dev/null 2>&1; then
        wait_for openbox "$wm" "$dir/openbox.log" 200 0.05 wm_named
        sleep 0.2 # its first configuration of the screen
    else
        sleep 1
    fi
fi

"$@"
