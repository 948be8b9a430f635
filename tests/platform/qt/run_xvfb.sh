#!/usr/bin/env bash
# Runs a test executable on a private Xvfb display (no window manager, 96 dpi,
# 1024x768) with Qt's X11 platform, whatever display the caller has.
set -euo pipefail
exe=$1
shift
if ! command -v Xvfb >/dev/null; then
  echo "run_xvfb: Xvfb is not installed (Debian package xvfb)" >&2
  exit 1
fi
tmp=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -rf "$tmp"' EXIT
# -displayfd writes the display number once the server accepts connections.
for _ in $(seq 200); do
  [[ -s $tmp/display ]] && break
  kill -0 "$xvfb" 2>/dev/null || { cat "$tmp/xvfb.log" >&2; exit 1; }
  sleep 0.05
done
[[ -s $tmp/display ]] || { echo "run_xvfb: Xvfb did not start" >&2; exit 1; }
display=:$(head -n1 "$tmp/display")
env -u WAYLAND_DISPLAY -u QT_SCALE_FACTOR -u QT_SCREEN_SCALE_FACTORS \
  DISPLAY="$display" QT_QPA_PLATFORM=xcb "$exe" "$@"
