#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# packaging/debian_changelog.sh: a small CHANGELOG.md in Debian's layout, written out by hand
# (dates with their weekdays), the compressed copy without a time stamp, and the inputs it
# must refuse without leaving a file behind.
set -eu
script="$(cd "$(dirname "$0")" && pwd)/debian_changelog.sh"
dir=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-changelog.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
fail() { echo "changelog: $*"; exit 1; }
me='A Maintainer <a@example.org>'

cat >"$dir/good.md" <<'MD'
# Changes

Notes above the first release are not part of it.

## 2.0.10 (2024-02-29)

- First item, running on
  over two lines.
- Second item.

## 2.0.9 (2023-01-01)

- The first release.
MD
cat >"$dir/want" <<'DEB'
pkg (2.0.10) unstable; urgency=medium

  * First item, running on
    over two lines.
  * Second item.

 -- A Maintainer <a@example.org>  Thu, 29 Feb 2024 12:00:00 +0000

pkg (2.0.9) unstable; urgency=medium

  * The first release.

 -- A Maintainer <a@example.org>  Sun, 01 Jan 2023 12:00:00 +0000
DEB
sh "$script" "$dir/good.md" pkg 2.0.10 "$me" >"$dir/got" || fail "refused a good changelog"
cmp -s "$dir/got" "$dir/want" || fail "wrote:
$(cat "$dir/got")"
sh "$script" "$dir/good.md" pkg 2.0.10 "$me" "$dir/out.gz"
gzip -dc "$dir/out.gz" | cmp -s - "$dir/want" || fail "the .gz holds something else"
# gzip header bytes 4..7 are the time stamp: zero, so that builds repeat byte for byte.
[ "$(od -An -tx1 -j4 -N4 "$dir/out.gz" | tr -d ' \n')" = 00000000 ] || fail "the .gz has a time stamp"

# Refused: name | version asked | CHANGELOG.md text (printf).
bad="older version asked|2.0.9|## 2.0.10 (2024-02-29)\n\n- Item.\n
newer version asked|2.1.0|## 2.0.10 (2024-02-29)\n\n- Item.\n
heading without date|1.0|## 1.0\n\n- Item.\n
date not in the calendar|1.0|## 1.0 (2023-02-29)\n\n- Item.\n
release without items|1.0|## 1.0 (2024-01-01)\n\n## 0.9 (2023-01-01)\n\n- Item.\n
last release without items|1.0|## 1.0 (2024-01-01)\n\n- Item.\n\n## 0.9 (2023-01-01)\n
continuation outside an item|1.0|## 1.0 (2024-01-01)\n\n  stray\n- Item.\n
text that is no item|1.0|## 1.0 (2024-01-01)\n\nPlain text.\n
no releases|1.0|# Changes\n\n- Item.\n"
printf '%s\n' "$bad" | while IFS='|' read -r name version text; do
    printf "$text" >"$dir/bad.md"
    rm -f "$dir/bad.gz"
    if sh "$script" "$dir/bad.md" pkg "$version" "$me" "$dir/bad.gz" 2>/dev/null; then
        fail "accepted: $name"
    fi
    [ ! -e "$dir/bad.gz" ] || fail "left a file behind: $name"
done
sh "$script" "$dir/missing.md" pkg 1.0 "$me" 2>/dev/null && fail "accepted a missing file"
echo "changelog: the layout as written by hand, $(printf '%s\n' "$bad" | wc -l) bad inputs refused"
