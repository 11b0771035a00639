#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a scratch prefix and checks the tree: exactly the three programs,
# the desktop entry, its AppStream metadata, the icon, the copyright and changelog and (with
# help2man) a man page per program; the entry and metadata are valid where
# desktop-file-validate and appstreamcli are installed, and the installed programs run.
#   tests/install_tree_test.sh BUILD_DIR yes|no   (yes: man pages expected)
set -eu
build=$1 man=$2
prefix=$(mktemp -d "${TMPDIR:-/tmp}/nimbo-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT INT TERM

cmake --install "$build" --prefix "$prefix" >/dev/null

expected="bin/nimbo
bin/nimbo-decode
bin/nimbo-synth
share/applications/nimbo.desktop
share/doc/nimbo/changelog.gz
share/doc/nimbo/copyright
share/icons/hicolor/scalable/apps/nimbo.svg
share/metainfo/org.nimbo_project.nimbo.metainfo.xml"
if [ "$man" = yes ]; then
    expected="$expected
share/man/man1/nimbo-decode.1.gz
share/man/man1/nimbo-synth.1.gz
share/man/man1/nimbo.1.gz"
fi
found=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
expected=$(printf '%s\n' "$expected" | LC_ALL=C sort)
if [ "$found" != "$expected" ]; then
    printf 'installed tree differs.\nexpected:\n%s\nfound:\n%s\n' "$expected" "$found"
    exit 1
fi

for p in nimbo nimbo-decode nimbo-synth; do
    [ -x "$prefix/bin/$p" ] || { echo "bin/$p is not executable"; exit 1; }
done
# The installed programs start from there (the window's only prints, without a display).
"$prefix/bin/nimbo" --version | grep -qx "nimbo [0-9.]*" || { echo "nimbo --version failed"; exit 1; }
"$prefix/bin/nimbo" --version | grep -q "^License GPL-3.0-or-later" ||
    { echo "nimbo --version names no licence"; exit 1; }
"$prefix/bin/nimbo-decode" --help | grep -q "JSON" || { echo "nimbo-decode --help failed"; exit 1; }
"$prefix/bin/nimbo-synth" --help >/dev/null || { echo "nimbo-synth --help failed"; exit 1; }

grep -qx "Exec=nimbo" "$prefix/share/applications/nimbo.desktop"
grep -qx "Icon=nimbo" "$prefix/share/applications/nimbo.desktop"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$prefix/share/applications/nimbo.desktop"
else
    echo "desktop-file-validate is not installed: the desktop entry is not validated"
fi
# The metadata's launchable is the installed entry, and the changelog's newest release is the
# one the programs report.
metainfo=$prefix/share/metainfo/org.nimbo_project.nimbo.metainfo.xml
grep -q '<launchable type="desktop-id">nimbo.desktop</launchable>' "$metainfo" ||
    { echo "the metainfo names no nimbo.desktop"; exit 1; }
if command -v appstreamcli >/dev/null; then
    appstreamcli validate-tree --no-net "$prefix" >/dev/null ||
        { appstreamcli validate-tree --no-net "$prefix"; exit 1; }
else
    echo "appstreamcli is not installed: the AppStream metadata is not validated"
fi
version=$("$prefix/bin/nimbo" --version | sed -n '1s/^nimbo //p')
gzip -dc "$prefix/share/doc/nimbo/changelog.gz" | head -n 1 | grep -qF "nimbo ($version) " ||
    { echo "changelog.gz does not start with release $version"; exit 1; }
if [ "$man" = yes ]; then
    for p in nimbo nimbo-decode nimbo-synth; do
        page=$(gzip -dc "$prefix/share/man/man1/$p.1.gz")
        printf '%s\n' "$page" | grep -q '^\.SH NAME' || { echo "$p.1 has no NAME"; exit 1; }
        printf '%s\n' "$page" | grep -q '^\.SH OPTIONS' || { echo "$p.1 lists no options"; exit 1; }
    done
fi
echo "install tree: $(printf '%s\n' "$found" | wc -l) files as expected"
