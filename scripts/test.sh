#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the release preset and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh --test
cmake --preset release -DMORPHANE_BUILD_TESTS=ON
cmake --build --preset release
ctest --preset release -j2
