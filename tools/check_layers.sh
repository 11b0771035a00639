#!/usr/bin/env bash
# Checks that every #include "room/..." of the program points down the rooms (or stays in
# its own room). Prints each upward or sideways include and exits 1 if there is one.
#   tools/check_layers.sh
set -euo pipefail
cd "$(dirname "$0")/.."

# Rank of each room, lowest first. Rooms of equal rank may not include each other; the
# tools stand above the core and beside the Qt rooms, which they never include.
declare -A rank=(
  [raster]=0 [dsp]=1 [settings]=1 [audio]=2 [decode]=2 [pictures]=3 [rs41]=3 [core]=4
  [tools]=5 [widgets]=5 [capture]=6 [display]=7 [app]=8
)

bad=0
while IFS=: read -r file line text; do
  from=${file%%/*}
  to=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")
  [ "$from" = "$to" ] && continue
  if [ -z "${rank[$to]+x}" ] || [ "${rank[$to]}" -ge "${rank[$from]}" ]; then
    echo "$file:$line: $from includes $to"
    bad=1
  fi
done < <(grep -rnE '^#include "[^/"]+/' --include='*.h' --include='*.cpp' "${!rank[@]}")

[ "$bad" -eq 0 ] && echo "layers: every include points down"
exit "$bad"
