#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes CHANGELOG.md as a Debian changelog, for the package's changelog.gz: on stdout, or
# compressed (gzip -9n, no time stamp) into OUT.gz, which is left alone on failure.
#   packaging/debian_changelog.sh CHANGELOG.md PACKAGE VERSION "NAME <ADDRESS>" [OUT.gz]
# Fails with a message when the newest entry is not VERSION (the package would claim a
# release the changelog does not describe), on a line it cannot place, or on an entry
# without items.
set -eu
[ $# -eq 4 ] || [ $# -eq 5 ] || {
    echo "usage: $0 CHANGELOG.md PACKAGE VERSION MAINTAINER [OUT.gz]" >&2
    exit 2
}
in=$1 package=$2 version=$3 maintainer=$4 out=${5:-}
[ -f "$in" ] && [ -r "$in" ] || { echo "$0: cannot read $in" >&2; exit 1; }

# Pass 1 (awk): entries as "E version date", items as "I text", continuations as "C text".
parsed=$(awk -v file="$in" '
    function fail(msg) { printf "%s:%d: %s\n", file, NR, msg > "/dev/stderr"; bad = 1; exit 1 }
    /^## / {
        if (inEntry && items == 0) fail("release " ver " has no items")
        if (!match($0, /^## [0-9]+(\.[0-9]+)+ \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/))
            fail("a release heading is \"## VERSION (YYYY-MM-DD)\"")
        ver = $2; date = substr($3, 2, 10)
        print "E " ver " " date
        inEntry = 1; items = 0; inItem = 0
        next
    }
    !inEntry { next }                       # the title and the note above the first release
    /^- / { print "I " substr($0, 3); items++; inItem = 1; next }
    /^  +[^ ]/ {
        if (!inItem) fail("an indented line outside an item")
        sub(/^ +/, ""); print "C " $0; next
    }
    /^[ \t]*$/ { inItem = 0; next }
    { fail("a line that is neither a heading, an item nor its continuation") }
    END {
        if (bad) exit 1
        if (!inEntry) { printf "%s: no release entries\n", file > "/dev/stderr"; exit 1 }
        if (items == 0) { printf "%s: release %s has no items\n", file, ver > "/dev/stderr"; exit 1 }
    }
' "$in")

newest=$(printf '%s\n' "$parsed" | awk '$1 == "E" { print $2; exit }')
if [ "$newest" != "$version" ]; then
    echo "$in: the newest entry is $newest, the package is $version" >&2
    exit 1
fi

# Pass 2: the Debian layout, each entry closed by its maintainer line and date.
close_entry() {
    [ -n "$date" ] || return 0
    stamp=$(LC_ALL=C date -u -R -d "$date 12:00") || { echo "$in: bad date $date" >&2; exit 1; }
    printf '\n -- %s  %s\n' "$maintainer" "$stamp"
}
render() {
    date="" first=yes
    printf '%s\n' "$parsed" | {
        while IFS= read -r line; do
            kind=${line%% *} text=${line#? }
            case $kind in
            E)
                close_entry
                [ $first = yes ] || printf '\n'
                first=no
                set -- $text
                date=$2
                printf '%s (%s) unstable; urgency=medium\n\n' "$package" "$1"
                ;;
            I) printf '  * %s\n' "$text" ;;
            C) printf '    %s\n' "$text" ;;
            esac
        done
        close_entry
    }
}

if [ -z "$out" ]; then
    render
else
    # Rendered in full first: a pipe into gzip would hide a failure of the rendering.
    trap 'rm -f "$out.txt" "$out.tmp"' EXIT
    render >"$out.txt"
    gzip -9nc "$out.txt" >"$out.tmp"
    mv "$out.tmp" "$out"
fi
