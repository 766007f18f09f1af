#!/usr/bin/env bash
# The orvane program beside the logger simulator, both as processes without a display: it
# runs while the logger's QSO-entry window is open and ends about a second after it closes;
# without a logger it ends on its own.
# Usage: program_test.sh PATH/TO/orvane PATH/TO/orvane-logger-sim
set -uo pipefail
orvane=$1
simulator=$2
work=$(mktemp -d)
# The program keeps its settings beside itself: put back what was there before.
settings="$(dirname "$orvane")/Orvane.ini"
[ -f "$settings" ] && cp "$settings" "$work/Orvane.ini.kept"
export QT_QPA_PLATFORM=offscreen
export ORVANE_LOGGER_HOST="orvane-program-test-$$"
# Without a logger-host service Orvane looks for the logger under Wine: no prefix here.
export WINEPREFIX="$work/no-wine-prefix"
failures=0
sim_pid=""
orvane_pid=""
cleanup() {
  [ -n "$orvane_pid" ] && kill "$orvane_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  exec 3>&- 2>/dev/null
  if [ -f "$work/Orvane.ini.kept" ]; then
    cp "$work/Orvane.ini.kept" "$settings"
  else
    rm -f "$settings"
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# wait_exit PID SECONDS: waits for the process to end; its status in $status.
wait_exit() {
  local pid=$1 tenths=$(($2 * 10))
  while kill -0 "$pid" 2>/dev/null && [ "$tenths" -gt 0 ]; do
    sleep 0.1
    tenths=$((tenths - 1))
  done
  if kill -0 "$pid" 2>/dev/null; then
    return 1
  fi
  wait "$pid"
  status=$?
  return 0
}

# Without a logger the program ends at its first reading, about a second after start, with
# an error status.
"$orvane" >"$work/alone.out" 2>&1 &
orvane_pid=$!
if ! wait_exit "$orvane_pid" 20; then
  fail "orvane without a logger did not end within 20 s"
elif [ "$status" -ne 1 ]; then
  fail "orvane without a logger ended with status $status, not 1"
  sed 's/^/  /' "$work/alone.out" >&2
elif ! grep -q "^Orvane ends: no logger is running" "$work/alone.out"; then
  fail "orvane without a logger did not say why it ends"
  sed 's/^/  /' "$work/alone.out" >&2
fi
orvane_pid=""

# The simulator reads commands from a pipe that stays open.
mkfifo "$work/commands"
"$simulator" --host-name "$ORVANE_LOGGER_HOST" <"$work/commands" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3>"$work/commands"
for _ in $(seq 300); do
  grep -q '^listening ' "$work/sim.out" 2>/dev/null && break
  sleep 0.1
done
grep -q "^listening $ORVANE_LOGGER_HOST\$" "$work/sim.out" || fail "the simulator did not start"

"$orvane" >"$work/orvane.out" 2>&1 &
orvane_pid=$!
echo "call W1AW" >&3
sleep 4
kill -0 "$orvane_pid" 2>/dev/null || fail "orvane ended while the logger was open"

echo "quit" >&3
wait_exit "$sim_pid" 20 || fail "the simulator did not end on quit"
sim_pid=""
if ! wait_exit "$orvane_pid" 10; then
  fail "orvane did not end after the logger closed"
elif [ "$status" -ne 0 ]; then
  fail "orvane ended with status $status"
  sed 's/^/  /' "$work/orvane.out" >&2
fi
orvane_pid=""

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "program test passed"
