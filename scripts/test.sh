#!/bin/sh
# Installs what is missing, builds the release preset and runs every test through CTest.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
ctest --preset release -j2
