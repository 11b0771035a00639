#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures, builds and tests every combination of the four build options, each in a
# folder of its own beneath build-options/, and prints one line per combination with
# ctest's verdict and the tests it skipped. Exits 1 if any combination failed.
#   tools/check_build_options.sh [combination...]   e.g. GUI=OFF,TOOLS=ON,BENCH=OFF,SANITIZE=ON
set -uo pipefail
cd "$(dirname "$0")/.."

combinations=("$@")
if [ ${#combinations[@]} -eq 0 ]; then
  for gui in ON OFF; do for tools in ON OFF; do for bench in ON OFF; do for san in OFF ON; do
    combinations+=("GUI=$gui,TOOLS=$tools,BENCH=$bench,SANITIZE=$san")
  done; done; done; done
fi

failed=0
for combo in "${combinations[@]}"; do
  dir="build-options/${combo//[=,]/-}"
  args=()
  for kv in ${combo//,/ }; do args+=("-DNIMBO_$kv"); done
  [[ $combo == *SANITIZE=ON* ]] && args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1)
  log="$dir.log"
  mkdir -p "$dir"
  verdict=""
  if ! cmake -S . -B "$dir" -G Ninja "${args[@]}" >"$log" 2>&1; then
    verdict="configure failed"
  elif ! cmake --build "$dir" -j "$(nproc)" >>"$log" 2>&1; then
    verdict="build failed"
  elif ! (cd "$dir" && ctest -j "$(nproc)" --output-on-failure) >>"$log" 2>&1; then
    verdict="tests failed"
  fi
  summary=$(grep -E 'tests passed|tests failed out of' "$log" | tail -1)
  skipped=$(sed -n '/The following tests did not run/,$p' "$log" | grep -oE '[0-9]+ - [^ ]+' |
    sed -E 's/^[0-9]+ - //' | paste -sd, -)
  if [ -n "$verdict" ]; then
    failed=1
    printf '%-45s FAILED (%s) see %s\n' "$combo" "$verdict" "$log"
  else
    printf '%-45s %s%s\n' "$combo" "$summary" "${skipped:+; skipped: $skipped}"
  fi
done
exit "$failed"
