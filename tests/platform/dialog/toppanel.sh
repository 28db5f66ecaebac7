#!/usr/bin/env bash
# Runs test program $1 on an X server of its own whose work area leaves a
# 30-pixel panel at the top of a 1024 x 768 screen (_NET_WORKAREA, as a
# desktop with one top panel sets it). Its own server, so that no other test
# sees that work area; -noreset keeps the property when xprop disconnects.
set -euo pipefail
# Under the leak checker: what the X11 platform's D-Bus library keeps is its own.
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan.supp"
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" bash -c '
  xprop -root -f _NET_WORKAREA 32c -set _NET_WORKAREA "0, 30, 1024, 738"
  QT_QPA_PLATFORM=xcb exec "$0"' "$1"
