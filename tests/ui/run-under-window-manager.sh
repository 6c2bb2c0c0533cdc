#!/usr/bin/env bash
# Runs window tests on the X11 platform inside a virtual screen with a real window manager
# (openbox), where windows are placed by the window manager and not by Qt's offscreen platform.
# Usage: run-under-window-manager.sh <test program> <gtest filter>. Exits 77 (skipped) when the
# virtual screen or the window manager is not installed.
set -uo pipefail
program=$1
filter=$2
if ! command -v xvfb-run >/dev/null || ! command -v openbox >/dev/null; then
  echo "xvfb-run or openbox is not installed: skipped"
  exit 77
fi
exec xvfb-run -a -s "-screen 0 1280x900x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  QT_QPA_PLATFORM=xcb "$0" --gtest_filter="$1"
  status=$?
  kill "$wm" 2>/dev/null
  exit "$status"' "$program" "$filter"
