#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the logs of a realistic synthesised flight (nimbo-synth --flight) as NIMBO would with
# logging on, for import tests and pictures; prints the raw frame log's path.
#   tools/make_flight_log.sh BUILD_DIR OUT_DIR [FRAMES]   (FRAMES: default 7200, two hours)
# Writes OUT_DIR/raw/N1234567.txt and the sens/, calraw/ and caldata/ files beside it.
set -euo pipefail

if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 BUILD_DIR OUT_DIR [FRAMES]" >&2
    exit 2
fi
build=$1 out=$2 frames=${3:-7200}
serial=N1234567
synth=$build/tools/synth/nimbo-synth
decode=$build/tools/nimbo-decode
for exe in "$synth" "$decode"; do
    [ -x "$exe" ] || { echo "make_flight_log.sh: $exe is missing; build it first" >&2; exit 1; }
done
raw=$out/raw/$serial.txt
# The logs are appended to: a second flight in the same file would replay as one.
if [ -e "$raw" ]; then
    echo "make_flight_log.sh: $raw exists already; choose an empty OUT_DIR" >&2
    exit 1
fi
mkdir -p "$out"

# The other channel stays silent: nimbo-decode listens to the left one only.
"$synth" --flight --frames "$frames" --serial "$serial" --other-serial "" -o - |
    "$decode" - --log-dir "$out" >/dev/null
[ -s "$raw" ] || { echo "make_flight_log.sh: no frames were logged to $raw" >&2; exit 1; }
echo "$raw"
