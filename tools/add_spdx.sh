#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence identifier at the top of every file tools/check_spdx.sh finds without it
# (// for C and C++, # for scripts and CMake, below a #! line and a Python coding line).
# Files that carry it are left untouched, so running it again changes nothing.
#   tools/add_spdx.sh           every file of the checkout that lacks it
#   tools/add_spdx.sh FILE...   only these
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
tag='SPDX-License-Identifier: GPL-3.0-or-later'

add() { # file
    f=$1
    [ -f "$f" ] && [ -r "$f" ] && [ -w "$f" ] || { echo "add_spdx: cannot edit $f" >&2; return 1; }
    head -n 3 "$f" | grep -qF "$tag" && return 0
    case $f in
    *.cpp | *.cc | *.c | *.h | *.hpp) line="// $tag" ;;
    *) line="# $tag" ;;
    esac
    # Lines that must stay first: an interpreter line, then Python's coding declaration.
    keep=0
    if [ "$(head -c 2 "$f")" = '#!' ]; then
        keep=1
        sed -n 2p "$f" | grep -qE '^[ \t]*#.*coding[:=]' && keep=2
    fi
    # A file whose lines end in CR LF gets a CR LF line.
    cr=$(printf '\r')
    case $(head -n 1 "$f") in *"$cr") line="$line$cr" ;; esac
    tmp=$(mktemp "${TMPDIR:-/tmp}/add_spdx.XXXXXX")
    {
        head -n "$keep" "$f"
        printf '%s\n' "$line"
        tail -n "+$((keep + 1))" "$f"
    } >"$tmp"
    # Written back in place, so the file keeps its mode and owner.
    cat "$tmp" >"$f"
    rm -f "$tmp"
    echo "$f"
}

status=0
if [ $# -gt 0 ]; then
    for f in "$@"; do add "$f" || status=1; done
else
    cd "$root"
    # check_spdx.sh exits 1 when files lack it (listed on stdout), other than 0 or 1 on failure.
    rc=0
    missing=$("$root/tools/check_spdx.sh" 2>/dev/null) || rc=$?
    [ $rc -le 1 ] || { echo "add_spdx: tools/check_spdx.sh failed ($rc)" >&2; exit 1; }
    while IFS= read -r f; do
        [ -z "$f" ] || add "$f" || status=1
    done <<EOF
$missing
EOF
fi
exit $status
