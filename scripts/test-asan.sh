#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the asan preset (AddressSanitizer, UndefinedBehaviorSanitizer, LeakSanitizer) and runs
# every test under it.
set -eu
cd "$(dirname "$0")/.."
# Compiler cache entries shared by every clone of the project: paths below it count as relative.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
./scripts/install-deps.sh --test
cmake --preset asan -DMORPHANE_BUILD_TESTS=ON
cmake --build --preset asan
ctest --preset asan -j2
