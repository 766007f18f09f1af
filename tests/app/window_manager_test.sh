#!/usr/bin/env bash
# The main window test that needs a real window manager, on a virtual display with openbox:
# there the frame is added some time after a window is shown, as on the operator's desktop.
# Usage: window_manager_test.sh PATH/TO/app_tests
# Exits with 77 (skipped) when Xvfb or openbox is missing.
set -uo pipefail
tests=$1
command -v xvfb-run >/dev/null && command -v openbox >/dev/null || exit 77
exec xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  # openbox runs its start-up command once it manages the screen; wait for that, not a guess.
  ready=$(mktemp -u)
  openbox --startup "touch $ready" >/dev/null 2>&1 &
  wm=$!
  trap "kill $wm 2>/dev/null; rm -f $ready" EXIT
  for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
  [ -e "$ready" ] || { echo "openbox did not start" >&2; exit 1; }
  QT_QPA_PLATFORM=xcb ORVANE_WINDOW_MANAGER_TEST=1 "$0" --gtest_brief=1 \
    --gtest_filter=MainWindow.*UnderAWindowManager
  ' "$tests"
