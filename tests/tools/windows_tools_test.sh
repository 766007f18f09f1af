#!/usr/bin/env bash
# orvane-convert.exe and orvane-render.exe under Wine, with file names the Windows code page
# cannot hold ("Ω" and "Ł" are not in Windows-1252), with paths longer than 260 characters,
# and with files that cannot be read or written.
# Usage: windows_tools_test.sh WINE_RUN PREFIX RENDER_EXE CONVERT_EXE TEST_DATA_DIR
set -uo pipefail
wine_run=$1 prefix=$2 render=$3 convert=$4 data=$5
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run EXPECTED_STATUS TOOL ARGS...: the tool under Wine, its output kept in $out and $err.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
run() {
  local expected=$1 tool=$2
  shift 2
  "$wine_run" "$prefix" "$tool" "$@" >"$out" 2>"$err"
  local status=$?
  if [ "$status" -ne "$expected" ]; then
    fail "exit status $status, expected $expected: $(basename "$tool") $*"
    sed 's/^/  /' "$out" "$err" >&2
    return 1
  fi
}

# The first run makes the prefix; its C: drive is a folder of it.
"$wine_run" "$prefix" "$render" --help >/dev/null || fail "orvane-render.exe --help failed"
drive="$prefix/drive_c"
folder='Lög\Ω Łódź'
unix_folder="$drive/Lög/Ω Łódź"
rm -rf "$drive/Lög"
mkdir -p "$unix_folder"
cp "$data/shp/polygons.shp" "$data/shp/polygons.shx" "$data/shp/polygons.dbf" "$unix_folder/"

# A shapefile converted into a layer file and drawn, both named through the folder.
if run 0 "$convert" "C:\\$folder\\polygons.shp" --output "C:\\$folder\\land.lyr"; then
  [ -s "$unix_folder/land.lyr" ] || fail "orvane-convert wrote no land.lyr in $unix_folder"
fi
if run 0 "$render" --output "C:\\$folder\\map.png" --size 160x120 --projection flat \
    --layer "C:\\$folder\\land.lyr" --metadata none; then
  [ "$(head -c 4 "$unix_folder/map.png" | tail -c 3)" = PNG ] || fail "map.png is no PNG"
  grep -qF "wrote C:\\$folder\\map.png" "$out" ||
    fail "the report does not name the file as given: $(cat "$out")"
fi

# The enhanced metafile, Windows' vector format: its header record and signature.
if run 0 "$render" --output "C:\\$folder\\map.emf" --size 160x120 --layer "C:\\$folder\\land.lyr" \
    --metadata none; then
  [ "$(od -An -tu4 -N4 "$unix_folder/map.emf" | tr -d ' ')" = 1 ] || fail "map.emf has no EMF header"
  [ "$(od -An -c -j40 -N4 "$unix_folder/map.emf" | tr -d ' ')" = EMF ] ||
    fail "map.emf has no EMF signature"
fi

# A folder path of more than 260 characters.
long="C:\\$folder"
unix_long="$unix_folder"
for i in 1 2 3 4 5 6 7; do
  part="a-folder-name-of-forty-characters-number$i"
  long="$long\\$part"
  unix_long="$unix_long/$part"
done
mkdir -p "$unix_long"
[ ${#long} -gt 260 ] || fail "the long path is only ${#long} characters"
if run 0 "$render" --output "$long\\map.png" --size 64x48 --projection flat --graticule 0; then
  [ -s "$unix_long/map.png" ] || fail "no map.png at the end of the long path"
fi

# Files that cannot be read or written: status 1 and the file's name as given, in UTF-8.
if run 1 "$render" --output "C:\\$folder\\x.png" --layer "C:\\$folder\\none.lyr"; then
  grep -qF "C:\\$folder\\none.lyr" "$err" || fail "the message does not name none.lyr: $(cat "$err")"
fi
if run 1 "$render" --output "C:\\$folder\\no such folder\\x.png" --size 10x10; then
  grep -qF "no such folder" "$err" || fail "the message does not name the folder: $(cat "$err")"
fi
run 1 "$convert" "C:\\$folder\\none.shp" --output "C:\\$folder\\x.lyr"
run 2 "$render" --output "C:\\$folder\\x.png" --size 0x0

rm -rf "$drive/Lög"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "all checks passed"
