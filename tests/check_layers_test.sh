#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# tools/check_layers.sh on a scratch tree: each wrong include, in each spelling, is reported
# by its file (and nothing else is); the right ones pass.
#   check_layers_test.sh CHECK_LAYERS
set -eu
check=$1
tree=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-layers.XXXXXX")
trap 'rm -rf "$tree"' EXIT INT TERM
mkdir -p "$tree/dsp" "$tree/decode" "$tree/core" "$tree/raster" "$tree/capture" "$tree/app"

# Each a file of its own, expected in the report as "FILE:1:".
printf '#include <core/nimbo_core.h>\n' >"$tree/dsp/angle.h"
printf '#  include "core/nimbo_core.h"\n' >"$tree/decode/spaced.cpp"
printf '#include "pictures/scope.h"\n' >"$tree/raster/header.hpp"
printf '#include "../core/nimbo_core.h"\n' >"$tree/core/dots.cpp"
printf '#include "tools/frame_json.h"\n' >"$tree/capture/tools.cpp"
printf '#include "tests/test_frame.h"\n' >"$tree/dsp/unknown.cpp"
# Down the rooms, a library's headers, and a room's own: no report.
printf '#include "dsp/filters.h"\n#include <sys/stat.h>\n#include <CLI/CLI.hpp>\n#include "core/x.h"\n' \
  >"$tree/core/fine.cpp"
printf '#include <QWidget>\n# include "capture/capture.h"\n' >"$tree/app/fine.cpp"

status=0
out=$("$check" "$tree") || status=$?
fail=0
[ "$status" -eq 1 ] || { echo "status $status, expected 1"; fail=1; }
for file in dsp/angle.h decode/spaced.cpp raster/header.hpp core/dots.cpp capture/tools.cpp \
  dsp/unknown.cpp; do
  echo "$out" | grep -q "^$file:1: " || { echo "not reported: $file"; fail=1; }
done
[ "$(echo "$out" | wc -l)" -eq 6 ] || { echo "other reports:"; echo "$out"; fail=1; }

# The tree as it is passes.
"$check" >/dev/null || { echo "the program's own tree fails"; fail=1; }
[ "$fail" -eq 0 ] && echo "check_layers: every kind of wrong include is caught"
exit "$fail"
