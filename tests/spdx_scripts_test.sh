#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# tools/check_spdx.sh and tools/add_spdx.sh on a scratch tree: which files must carry the
# licence line, where it goes, and that a second run changes nothing.
set -eu
src=$(cd "$(dirname "$0")/.." && pwd)
dir=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-spdx.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
# The scratch tree is no git checkout, even when TMPDIR lies inside one.
GIT_CEILING_DIRECTORIES=$(dirname "$dir")
export GIT_CEILING_DIRECTORIES
fail() { echo "spdx scripts: $*"; exit 1; }

cd "$dir"
mkdir -p tools core cmake fuzz/corpus/block tests/data docs
cp "$src/tools/check_spdx.sh" "$src/tools/add_spdx.sh" tools/
tag='SPDX-License-Identifier: GPL-3.0-or-later'
# Files that need the line, each with its content before and after (\n-separated, printf).
# The table: name | before | after.
cases="core/a.cpp|int a;\n|// $tag\nint a;\n
core/b.h|#pragma once\n|// $tag\n#pragma once\n
tools/run.sh|#!/bin/sh\necho run\n|#!/bin/sh\n# $tag\necho run\n
tools/sim.py|#!/usr/bin/python3\n# -*- coding: utf-8 -*-\nx = 1\n|#!/usr/bin/python3\n# -*- coding: utf-8 -*-\n# $tag\nx = 1\n
tools/gen|#!/usr/bin/env bash\ntrue\n|#!/usr/bin/env bash\n# $tag\ntrue\n
CMakeLists.txt|project(x)\n|# $tag\nproject(x)\n
core/CMakeLists.txt|add_library(a a.cpp)\n|# $tag\nadd_library(a a.cpp)\n
cmake/find.cmake|set(x 1)\n|# $tag\nset(x 1)\n
core/crlf.h|int c;\r\n|// $tag\r\nint c;\r\n"
# Files that already carry it, and files that must not get it (data, fixtures, documents).
printf '// %s\nint d;\n' "$tag" >core/done.cpp
printf '#!/bin/sh\n# %s\n' "$tag" >tools/done.sh
printf '#!fixture bytes\n' >fuzz/corpus/block/seed
printf 'int fixture;\n' >tests/data/frame.h
printf '# Title\n' >README.md
printf '{}\n' >docs/a.json
printf 'notes without an interpreter line\n' >tools/notes
printf 'GPL\n' >LICENSE

printf '%s\n' "$cases" | while IFS='|' read -r name before after; do
    printf "$before" >"$name"
done
chmod 755 tools/run.sh

expected=$(printf '%s\n' "$cases" | cut -d'|' -f1 | LC_ALL=C sort)
rc=0
found=$(sh tools/check_spdx.sh 2>/dev/null) || rc=$?
[ $rc -eq 1 ] || fail "check exits $rc with files lacking the line, not 1"
[ "$(printf '%s\n' "$found" | LC_ALL=C sort)" = "$expected" ] ||
    fail "check listed:
$found
expected:
$expected"

sh tools/add_spdx.sh >/dev/null
printf '%s\n' "$cases" | while IFS='|' read -r name before after; do
    printf "$after" >"$dir.want"
    cmp -s "$name" "$dir.want" || { rm -f "$dir.want"; fail "$name became: $(cat -A "$name")"; }
done
rm -f "$dir.want"
[ -x tools/run.sh ] || fail "tools/run.sh lost its execute bit"
for f in fuzz/corpus/block/seed tests/data/frame.h README.md docs/a.json tools/notes LICENSE; do
    grep -q SPDX "$f" && fail "$f got the line"
done
sh tools/check_spdx.sh 2>/dev/null || fail "check still fails after add_spdx.sh"

# A second run changes nothing, whether it looks for files itself or is given them.
before=$(find . -type f -exec cksum {} + | LC_ALL=C sort)
[ -z "$(sh tools/add_spdx.sh)" ] || fail "a second run edited files"
[ -z "$(sh tools/add_spdx.sh core/a.cpp tools/sim.py core/done.cpp)" ] ||
    fail "a second run on named files edited them"
[ "$(find . -type f -exec cksum {} + | LC_ALL=C sort)" = "$before" ] || fail "a second run changed files"
echo "spdx scripts: $(printf '%s\n' "$expected" | wc -l) files given the line, the rest left alone"
