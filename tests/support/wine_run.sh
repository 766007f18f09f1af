#!/usr/bin/env bash
# Runs a Windows program of the build under Wine: wine_run.sh PREFIX PROGRAM [ARGS...]. The
# prefix is made once per build folder and reused; a lock keeps two tests that start together
# from making it twice. The server stays a few seconds after a program ends, so that the next
# test does not start it again.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64
# Arguments and file names reach Wine as UTF-8 whatever the caller's locale; the Windows side
# keeps its usual code page (1252), which cannot hold every character of them.
export LC_ALL=C.UTF-8
# No .NET or HTML engine: nothing to offer to download, nothing to wait for. No display is
# needed; programs that make windows get one from their test.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
mkdir -p "$prefix"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.made" ]; then
  DISPLAY= wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "wine_run.sh: wineboot made no prefix in $prefix" >&2; exit 1; }
  touch "$prefix/.made"
fi
# Fails, harmlessly, when the server is already running.
wineserver -p5 2>/dev/null || true
flock -u 9
exec wine "$@"
