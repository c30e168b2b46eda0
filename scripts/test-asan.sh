#!/bin/sh
# Builds the asan preset (AddressSanitizer, UndefinedBehaviorSanitizer, LeakSanitizer) and runs
# every test under it.
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan -j2
