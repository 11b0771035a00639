#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a command against a PulseAudio daemon of its own: a null sink "nimbo_sink" and a
# source "nimbo_in" remapped from the sink's monitor (Qt lists no monitor sources), the
# server's default; and a second pair "nimbo_sink2" / "nimbo_in2" for device changes.
# The daemon lives in a temporary folder and is stopped when the command ends.
#   with_pulse.sh COMMAND [ARG...]
# The command finds the folder in NIMBO_PULSE_DIR and the daemon's process id in its file
# "pid". To bring a stopped daemon back, as it was, on the same socket:
#   with_pulse.sh --start "$NIMBO_PULSE_DIR"
set -eu

start_server() {
    # -n: none of the system's default modules, so no real sound card is touched.
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
        --log-target=file:"$dir/pulse.log" \
        -L "module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        -L "module-null-sink sink_name=nimbo_sink rate=48000 channels=2" \
        -L "module-remap-source source_name=nimbo_in master=nimbo_sink.monitor \
            source_properties='device.description=\"Receiver A\"'" \
        -L "module-null-sink sink_name=nimbo_sink2 rate=48000 channels=2" \
        -L "module-remap-source source_name=nimbo_in2 master=nimbo_sink2.monitor \
            source_properties='device.description=\"Receiver B\"'" \
        </dev/null >/dev/null 2>>"$dir/pulse.log" &
    server=$!
    echo "$server" >"$dir/pid"

    # Ready when the source is listed; give up after 10 s.
    tries=0
    until pactl list short sources 2>/dev/null | grep -q nimbo_in2; do
        tries=$((tries + 1))
        if [ "$tries" -gt 100 ] || ! kill -0 "$server" 2>/dev/null; then
            echo "with_pulse.sh: the sound server did not start" >&2
            cat "$dir/pulse.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    pactl set-default-sink nimbo_sink
    pactl set-default-source nimbo_in
}

environment() {
    export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/home/.config"
    export PULSE_SERVER="unix:$dir/native" NIMBO_PULSE_DIR="$dir"
}

if [ "${1:-}" = "--start" ]; then
    dir=$2
    environment
    start_server
    exit 0
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-pulse.XXXXXX")
cleanup() {
    # The daemon now running, which may not be the first one.
    if [ -s "$dir/pid" ]; then
        kill "$(cat "$dir/pid")" 2>/dev/null || true
        wait "$(cat "$dir/pid")" 2>/dev/null || true
        # Not a child when the command started it again: wait for its socket to go.
        tries=0
        while kill -0 "$(cat "$dir/pid")" 2>/dev/null && [ "$tries" -lt 50 ]; do
            tries=$((tries + 1))
            sleep 0.1
        done
    fi
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

mkdir -p "$dir/runtime" "$dir/home"
chmod 700 "$dir/runtime"
environment
start_server

"$@"
