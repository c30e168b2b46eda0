#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test program on a fresh X server (Xvfb) with a window manager (openbox). A missing
# server or window manager fails the test: the window-manager checks must not pass unseen.
set -u
test_program=$1
shift
fail() { echo "run-under-wm: $*" >&2; exit 1; }
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool fehlt; scripts/install-deps.sh installiert es"
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number and writes it to descriptor 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
i=0
while [ ! -s "$work/display" ]; do
  i=$((i + 1))
  [ $i -gt 100 ] && { cat "$work/xvfb.log" >&2; fail "Xvfb ist nicht gestartet"; }
  sleep 0.1
done
DISPLAY=:$(head -n 1 "$work/display")
export DISPLAY

HOME="$work" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# A running window manager announces itself on the root window; the work area comes once it
# manages the screen. A window mapped before that can be left unmanaged.
i=0
until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" &&
      xprop -root _NET_WORKAREA 2>/dev/null | grep -q "="; do
  i=$((i + 1))
  if [ $i -gt 100 ] || ! kill -0 "$wm_pid" 2>/dev/null; then
    cat "$work/openbox.log" >&2
    fail "kein Fenstermanager: openbox ist nicht gestartet"
  fi
  sleep 0.1
done
sleep 1

QT_QPA_PLATFORM=xcb "$test_program" "$@"
