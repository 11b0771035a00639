#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs lintian on the package ./nimbo.sh package made: fails on any error or warning (info
# tags are listed, not counted). Skipped (77) without lintian, without a package of this
# version, or when the programs were built again after the package was made.
#   packaging/lintian_test.sh BUILD_DIR VERSION
set -eu
build=$1 version=$2
command -v lintian >/dev/null || { echo "skipped: lintian is not installed"; exit 77; }
deb=
for f in "$build"/nimbo_"$version"_*.deb; do
    [ -f "$f" ] && deb=$f
done
[ -n "$deb" ] || { echo "skipped: no $build/nimbo_${version}_*.deb (./nimbo.sh package makes it)"; exit 77; }
for p in app/nimbo tools/nimbo-decode tools/synth/nimbo-synth; do
    if [ "$build/$p" -nt "$deb" ]; then
        echo "skipped: $p was built after $deb; ./nimbo.sh package makes it anew"
        exit 77
    fi
done
lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb"
