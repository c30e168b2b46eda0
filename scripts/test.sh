#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the release preset and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
# Compiler cache entries shared by every clone of the project: paths below it count as relative.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
./scripts/install-deps.sh --test
cmake --preset release -DMORPHANE_BUILD_TESTS=ON
cmake --build --preset release
ctest --preset release -j2
