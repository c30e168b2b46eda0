#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when a tracked text file the project wrote lacks the licence line
# "SPDX-License-Identifier: GPL-3.0-or-later" in its first three lines (after a shebang or an
# XML declaration). Exempt, because they cannot carry a comment or are not the project's text:
#   - binary files (pictures, the artwork; git's own binary test decides);
#   - the fuzz corpora (fuzz/corpus/: inputs for the decoders, byte for byte);
#   - JSON files (CMakePresets.json: JSON has no comments);
#   - COPYING (the licence's own text).
# Usage: scripts/check-spdx.sh [REPOSITORY]   (default: the repository this script lies in)
set -eu
cd "${1:-$(dirname "$0")/..}"
line="SPDX-License-Identifier: GPL-3.0-or-later"
missing=0
checked=0
list=$(mktemp)
trap 'rm -f "$list"' EXIT
git ls-files | grep -v -e '^fuzz/corpus/' -e '\.json$' -e '^COPYING$' >"$list"
while IFS= read -r f; do
  [ -f "$f" ] || continue
  # grep -I takes a file with a NUL byte for binary and finds nothing in it.
  grep -Iq . "$f" || continue
  checked=$((checked + 1))
  if ! head -n 3 "$f" | grep -qF "$line"; then
    echo "check-spdx: $f has no line \"$line\" at its top" >&2
    missing=$((missing + 1))
  fi
done <"$list"
if [ "$missing" -gt 0 ]; then
  echo "check-spdx: $missing of $checked files without the licence line" >&2
  exit 1
fi
echo "check-spdx: all $checked text files carry the licence line"
