#!/bin/sh
# Runs a command against a PulseAudio daemon of its own: a null sink "nimbo_sink" and a
# source "nimbo_in" remapped from the sink's monitor (Qt lists no monitor sources), the
# server's default; and a second pair "nimbo_sink2" / "nimbo_in2" for device changes.
# The daemon lives in a temporary folder and is stopped when the command ends.
#   with_pulse.sh COMMAND [ARG...]
set -eu

dir=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-pulse.XXXXXX")
pid=""
cleanup() {
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT INT TERM

mkdir -p "$dir/runtime" "$dir/home"
chmod 700 "$dir/runtime"
export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/home/.config"
socket="$dir/native"
# -n: none of the system's default modules, so no real sound card is touched.
pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    --log-target=file:"$dir/pulse.log" \
    -L "module-native-protocol-unix socket=$socket auth-anonymous=1" \
    -L "module-null-sink sink_name=nimbo_sink rate=48000 channels=2" \
    -L "module-remap-source source_name=nimbo_in master=nimbo_sink.monitor \
        source_properties='device.description=\"Receiver A\"'" \
    -L "module-null-sink sink_name=nimbo_sink2 rate=48000 channels=2" \
    -L "module-remap-source source_name=nimbo_in2 master=nimbo_sink2.monitor \
        source_properties='device.description=\"Receiver B\"'" \
    2>>"$dir/pulse.log" &
pid=$!
export PULSE_SERVER="unix:$socket"

# Ready when the source is listed; give up after 10 s.
tries=0
until pactl list short sources 2>/dev/null | grep -q nimbo_in2; do
    tries=$((tries + 1))
    if [ "$tries" -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "with_pulse.sh: the sound server did not start" >&2
        cat "$dir/pulse.log" >&2
        exit 1
    fi
    sleep 0.1
done
pactl set-default-sink nimbo_sink
pactl set-default-source nimbo_in

"$@"
