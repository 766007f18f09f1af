#!/usr/bin/env bash
# The main window test that needs a real window manager, on a virtual display with openbox:
# there the frame is added some time after a window is shown, as on the operator's desktop.
# Usage: window_manager_test.sh PATH/TO/app_tests
# Exits with 77 (skipped) when Xvfb or openbox is missing.
set -uo pipefail
tests=$1
command -v xvfb-run >/dev/null && command -v openbox >/dev/null || exit 77
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  QT_QPA_PLATFORM=xcb ORVANE_WINDOW_MANAGER_TEST=1 "$0" --gtest_brief=1 \
    --gtest_filter=MainWindow.WindowsComeBackAsTheyWereUnderAWindowManager
  status=$?
  kill "$wm" 2>/dev/null
  exit "$status"' "$tests"
