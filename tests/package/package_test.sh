#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# package_test.sh CPACK BUILD_DIR: makes the .deb of the build, unpacks it with dpkg-deb -x and
# runs the unpacked programs: the replay tool on a picture, and the window program opening a
# picture named on its command line, which must keep the picture's folder as a favourite in the
# user's data folder (an installed copy does not write beside itself).
set -eu
cpack=$1
build=$2
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no generated dependencies: $(dpkg-deb -f "$deb" Depends)"
# The long description (at least three lines after the summary) and the face model recommended.
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 4 ] || fail "no long description"
[ "$(dpkg-deb -f "$deb" Recommends)" = "libdlib-data" ] || fail "Recommends: $(dpkg-deb -f "$deb" Recommends)"

root="$work/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/morphane usr/bin/morphane-replay usr/lib/morphane/libvelbrik.so \
         usr/lib/morphane/libmorphane-platform.so usr/share/applications/io.github.morphane.Morphane.desktop \
         usr/share/metainfo/io.github.morphane.Morphane.metainfo.xml usr/share/doc/morphane/copyright \
         usr/share/doc/morphane/changelog.gz \
         usr/share/icons/hicolor/64x64/apps/morphane.png usr/share/icons/hicolor/256x256/apps/morphane.png; do
  [ -e "$root/$f" ] || fail "missing $f"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/usr/share/applications/io.github.morphane.Morphane.desktop" || fail "desktop entry"
fi

# A 2 x 2 BMP, 24 bits per pixel (rows of 8 bytes with padding).
mkdir "$work/pics"
printf 'BM\106\0\0\0\0\0\0\0\066\0\0\0\050\0\0\0\2\0\0\0\2\0\0\0\1\0\030\0\0\0\0\0\020\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\377\0\0\0\377\0\0\0\0\0\0\0\377\377\377\377\0\0' \
  >"$work/pics/bild.bmp"
printf 'tool grow\ndown 1 1\nup 1 1\n' >"$work/strich.txt"
env -u LD_LIBRARY_PATH "$root/usr/bin/morphane-replay" "$work/pics/bild.bmp" "$work/strich.txt" "$work/aus.png" ||
  fail "unpacked morphane-replay"
[ -s "$work/aus.png" ] || fail "no output picture"

# The window program, offscreen, with a user data folder of its own.
XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen \
  env -u LD_LIBRARY_PATH "$root/usr/bin/morphane" "$work/pics/bild.bmp" >"$work/gui.log" 2>&1 &
pid=$!
list="$work/data/morphane/folders.dat"
i=0
while [ ! -s "$list" ] && [ $i -lt 600 ] && kill -0 "$pid" 2>/dev/null; do
  sleep 0.1
  i=$((i + 1))
done
[ -s "$list" ] || { cat "$work/gui.log" >&2; fail "no favourites in the user's data folder"; }
[ "$(cat "$list")" = "$(printf '%s/pics/\r' "$work")" ] || fail "favourites: $(od -c "$list" | head -3)"
[ ! -e "$root/usr/bin/folders.dat" ] || fail "folders.dat written beside the program"
echo "package, unpacked programs and favourites: OK"
