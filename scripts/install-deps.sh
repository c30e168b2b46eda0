#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that are missing. Without arguments: what building and running
# the program needs. --test adds what the tests, the benchmarks, the sanitizer run and the guide's
# pictures need; --package what making and checking the Debian package needs.
# Runs as root, or through sudo when it is available. Packages already present are skipped.
set -eu

# Building and running the program.
BUILD="build-essential cmake ninja-build pkg-config ccache \
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev qt6-translations-l10n \
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev zlib1g-dev libexif-dev liblcms2-dev \
  libdlib-dev libdlib-data libheif-dev libwebp-dev libjxl-dev \
  libavcodec-dev libavformat-dev libswscale-dev libavutil-dev"
# The tests, benchmarks, sanitizer run and guide pictures on top.
TEST="gcc-multilib googletest libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev \
  xvfb xauth openbox x11-utils xclip imagemagick poppler-utils fonts-dejavu-core man-db \
  dpkg-dev file desktop-file-utils appstream python3-skimage ffmpeg"
# Making and checking the Debian package.
PACKAGE="dpkg-dev file lintian appstream desktop-file-utils man-db"

PACKAGES="$BUILD"
for arg in "$@"; do
  case "$arg" in
    --test) PACKAGES="$PACKAGES $TEST" ;;
    --package) PACKAGES="$PACKAGES $PACKAGE" ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq --no-install-recommends $missing
