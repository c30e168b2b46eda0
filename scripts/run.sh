#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what building and running the program needs (no test tools), builds the program of
# the release preset and starts it. Arguments go to the program (a picture or a folder).
set -eu
cd "$(dirname "$0")/.."
# Compiler cache entries shared by every clone of the project: paths below it count as relative.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release --target morphane
exec ./build/release/app/morphane "$@"
