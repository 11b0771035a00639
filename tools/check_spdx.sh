#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Lists every source, header, script and CMake file whose first lines lack the licence
# identifier and exits 1 if there is one (0 when all carry it). tools/add_spdx.sh adds it.
#   tools/check_spdx.sh          names on stdout, a summary on stderr
#   tools/check_spdx.sh --files  every file that must carry it, one a line
set -eu
cd "$(dirname "$0")/.."
tag='SPDX-License-Identifier: GPL-3.0-or-later'

# Files of the checkout: git's list (tracked, and new files not ignored) where there is one,
# so that build folders of any name are left out; otherwise the tree without the usual ones.
candidates() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard
    else
        find . \( -name .git -o -name 'build*' -o -name out -o -name __pycache__ \) -prune \
            -o -type f -print | sed 's|^\./||'
    fi
}

# Sources, headers, scripts and CMake files; test fixtures and data stay as they are.
licensed() {
    candidates | LC_ALL=C sort -u | while IFS= read -r f; do
        [ -f "$f" ] || continue
        case $f in
        fuzz/corpus/* | tests/data/*) continue ;;
        *.cpp | *.cc | *.c | *.h | *.hpp | *.sh | *.py | *.cmake | CMakeLists.txt | */CMakeLists.txt)
            printf '%s\n' "$f" ;;
        *.*) ;;
        *)  # a script without an extension
            [ "$(head -c 2 "$f")" = '#!' ] && printf '%s\n' "$f" ;;
        esac
    done
}

if [ "${1:-}" = --files ]; then
    licensed
    exit 0
fi

# The identifier belongs among the first lines: after a #! line and a Python coding line.
missing=$(licensed | while IFS= read -r f; do
    head -n 3 "$f" | grep -qF "$tag" || printf '%s\n' "$f"
done)
if [ -n "$missing" ]; then
    printf '%s\n' "$missing"
    echo "spdx: $(printf '%s\n' "$missing" | wc -l) files lack \"$tag\" (tools/add_spdx.sh adds it)" >&2
    exit 1
fi
echo "spdx: every source, header, script and CMake file carries \"$tag\"" >&2
