#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every include of the program's own headers points down the rooms (or stays in
# its own room), in either spelling (#include "room/x.h", #include <room/x.h>, # include ...)
# and in .h, .hpp and .cpp files alike. Prints each offending include and exits 1 if there is
# one. ROOT defaults to the tree this script lives in.
#   tools/check_layers.sh [ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# Rank of each room, lowest first. Rooms of equal rank may not include each other; the
# tools stand above the core and beside the Qt rooms, which they never include.
declare -A rank=(
  [raster]=0 [dsp]=1 [settings]=1 [audio]=2 [decode]=2 [pictures]=3 [rs41]=3 [core]=4
  [tools]=5 [widgets]=5 [capture]=6 [display]=7 [app]=8
)
# The Qt rooms: above the tools in rank, yet they never include them either.
declare -A qt=([widgets]=1 [capture]=1 [display]=1 [app]=1)

rooms=()
for room in "${!rank[@]}"; do
  [ -d "$room" ] && rooms+=("$room")
done

include_re='^[[:space:]]*#[[:space:]]*include[[:space:]]*([<"])([^>"]*)[>"]'
bad=0
while IFS=: read -r file line text; do
  [[ $text =~ $include_re ]] || continue
  quote=${BASH_REMATCH[1]} path=${BASH_REMATCH[2]}
  from=${file%%/*}
  if [[ /$path/ == */../* ]]; then
    echo "$file:$line: $from includes $path (a path with ..)"
    bad=1
    continue
  fi
  [[ $path == */* ]] || continue
  to=${path%%/*}
  # <sys/stat.h>, <CLI/CLI.hpp>: a library's header; "x/y.h" always names one of ours.
  [ -z "${rank[$to]+x}" ] && [ "$quote" = "<" ] && continue
  [ "$from" = "$to" ] && continue
  if [ -z "${rank[$to]+x}" ] || [ "${rank[$to]}" -ge "${rank[$from]}" ] || { [ -n "${qt[$from]+x}" ] && [ "$to" = tools ]; }; then
    echo "$file:$line: $from includes $to"
    bad=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include' --include='*.h' --include='*.hpp' \
  --include='*.cpp' "${rooms[@]}")

[ "$bad" -eq 0 ] && echo "layers: every include points down"
exit "$bad"
