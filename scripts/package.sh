#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package from the release preset and checks it, on a fresh clone as well:
# installs what is missing (building, and dpkg-dev, lintian, appstream, ...), builds what the
# package holds (not the tests), makes the package with CPack, runs lintian on it (an error
# fails) and validates the AppStream metadata it holds. The last line printed on standard output
# is the package's path; everything else goes to standard error.
#   sudo apt install "$(./scripts/package.sh | tail -n 1)"
set -eu
cd "$(dirname "$0")/.."
# Compiler cache entries shared by every clone of the project: paths below it count as relative.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
./scripts/install-deps.sh --package >&2
cmake --preset release >&2
cmake --build --preset release --target morphane_installed_files >&2
out=build/release/package
rm -rf "$out"
cpack -G DEB --config build/release/CPackConfig.cmake -B "$out" >&2
deb=$(ls "$out"/*.deb)

# lintian: errors fail; the warnings and notes left are explained in the README.
lintian --fail-on error "$deb" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
appstreamcli validate --no-net "$work"/usr/share/metainfo/*.metainfo.xml >&2
echo "$PWD/$deb"
