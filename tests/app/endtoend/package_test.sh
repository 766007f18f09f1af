#!/usr/bin/env bash
# The Debian package made from a build folder: its layout and dependencies, and the program
# unpacked from it into a scratch root, started without a display beside the unpacked
# logger simulator, finding its map data in share/orvane.
# Usage: package_test.sh BUILD_FOLDER
# Exits with 77 (skipped) when dpkg-deb or dpkg-shlibdeps is missing.
set -uo pipefail
build=$1
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null || exit 77
work=$(mktemp -d)
sim_pid=""
orvane_pid=""
cleanup() {
  [ -n "$orvane_pid" ] && kill "$orvane_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  exec 3>&- 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# No stripping: the test build's binaries are large, and the package's make-up is the point.
if ! (cd "$build" && cpack -G DEB -B "$work/package" -D CPACK_STRIP_FILES=OFF >"$work/cpack.out" 2>&1); then
  cat "$work/cpack.out" >&2
  echo "FAIL: cpack -G DEB" >&2
  exit 1
fi
deb=$(ls "$work"/package/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: no package made" >&2; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6network6 libc6 libqt6sql6-sqlite; do
  grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
for file in usr/bin/orvane usr/bin/orvane-mdbread usr/bin/orvane-render usr/bin/orvane-convert \
    usr/bin/orvane-snapshot usr/bin/orvane-logger-sim usr/share/orvane/world.lyr usr/share/orvane/world.bmp \
    usr/share/orvane/starfield.bmp usr/share/orvane/logger/db/logs.mdb \
    usr/share/applications/orvane.desktop usr/share/icons/hicolor/128x128/apps/orvane.png; do
  [ -e "$root/$file" ] || fail "$file is not in the package"
done
[ -e "$root/usr/bin/world.lyr" ] && fail "the map data is installed among the programs"
grep -q '^Exec=orvane$' "$root/usr/share/applications/orvane.desktop" || fail "the desktop entry does not start orvane"

export QT_QPA_PLATFORM=offscreen
export WINEPREFIX="$work/no-wine-prefix"
export ORVANE_LOGGER_HOST="orvane-package-test-$$"
# The unpacked snapshot tool starts the unpacked simulator and draws with the texture of
# share/orvane: a data folder not found is an error it reports.
"$root/usr/bin/orvane-snapshot" --texture --output "$work/view.png" >"$work/snapshot.out" 2>&1 ||
  { fail "the unpacked orvane-snapshot failed"; sed 's/^/  /' "$work/snapshot.out" >&2; }

mkfifo "$work/commands"
"$root/usr/bin/orvane-logger-sim" --host-name "$ORVANE_LOGGER_HOST" <"$work/commands" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
exec 3>"$work/commands"
for _ in $(seq 300); do
  grep -q '^listening ' "$work/sim.out" 2>/dev/null && break
  sleep 0.1
done
grep -q "^listening $ORVANE_LOGGER_HOST\$" "$work/sim.out" || fail "the unpacked simulator did not start"
"$root/usr/bin/orvane" >"$work/orvane.out" 2>&1 &
orvane_pid=$!
echo "call W1AW" >&3
sleep 3
kill -0 "$orvane_pid" 2>/dev/null || { fail "the unpacked orvane ended while the logger was open"; sed 's/^/  /' "$work/orvane.out" >&2; }
echo "quit" >&3
for _ in $(seq 100); do kill -0 "$orvane_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$orvane_pid" 2>/dev/null; then
  fail "the unpacked orvane did not end with the logger"
else
  orvane_pid=""
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "package test passed ($(basename "$deb"): $depends)"
