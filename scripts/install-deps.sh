#!/bin/sh
# Installs the Debian 12 packages the build, the tests and the screenshots need.
# Runs as root, or through sudo when it is available. Packages already present are skipped by apt.
set -eu
PACKAGES="build-essential gcc-multilib cmake ninja-build pkg-config ccache \
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev \
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev zlib1g-dev libexif-dev liblcms2-dev \
  googletest libgtest-dev libgmock-dev libbenchmark-dev \
  clang libclang-rt-14-dev \
  xvfb xauth openbox x11-utils imagemagick poppler-utils fonts-dejavu-core man-db \
  qt6-translations-l10n"

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
