#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Short fuzzing run for CI: builds the fuzz preset and fuzzes every target for a few seconds
# (default 10) on a scratch copy of its committed corpus. Fails on the first sanitizer report,
# crash, leak or timeout; the input that caused it is left in build/fuzz/artifacts/.
#   fuzz/run-short.sh [seconds per target]
set -eu
seconds="${1:-10}"
cd "$(dirname "$0")/.."
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_bmp fuzz_png fuzz_jpeg fuzz_gif fuzz_tiff fuzz_opendib
work="build/fuzz/short"
mkdir -p build/fuzz/artifacts
for target in bmp png jpeg gif tiff opendib; do
  rm -rf "$work/$target"
  mkdir -p "$work/$target"
  cp fuzz/corpus/"$target"/* "$work/$target"/
  echo "fuzzing $target for $seconds s"
  log="$work/$target.log"
  if ! build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=25 \
      -artifact_prefix=build/fuzz/artifacts/"$target"- -print_final_stats=1 "$work/$target" >"$log" 2>&1; then
    tail -n 40 "$log"
    exit 1
  fi
  grep '^stat::number_of_executed_units' "$log"
done
