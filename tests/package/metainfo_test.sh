#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# metainfo_test.sh APPSTREAMCLI SOURCE_DIR VERSION: the AppStream metadata is valid
# (appstreamcli validate --no-net), lists the releases of NEWS with their dates, the newest being
# the project's VERSION, and shows only pictures the guide has.
set -eu
appstreamcli=$1
src=$2
version=$3
metainfo=$src/resources/io.github.morphane.Morphane.metainfo.xml
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
"$appstreamcli" validate --no-net "$metainfo" || fail "appstreamcli validate"
news=$(sed -n 's/^Version \([0-9.]*\) (\([0-9]*\)\.\([0-9]*\)\.\([0-9]*\))$/\1 \4-\3-\2/p' "$src/NEWS")
releases=$(sed -n 's/.*<release version="\([^"]*\)" date="\([^"]*\)".*/\1 \2/p' "$metainfo")
[ "$news" = "$releases" ] || fail "releases in the metadata: $releases; in NEWS: $news"
[ "${news%% *}" = "$version" ] || fail "the newest release in NEWS is ${news%% *}, the project's version $version"
for picture in $(sed -n 's|.*<image>.*/\([^/]*\)</image>.*|\1|p' "$metainfo"); do
  [ -f "$src/docs/images/$picture" ] || fail "screenshot $picture is not in docs/images/"
done
echo "metadata valid, releases as in NEWS, screenshots from the guide: OK"
