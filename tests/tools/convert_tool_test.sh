#!/usr/bin/env bash
# orvane-convert from the outside: its report, the files it writes, and how it refuses bad
# options and input that cannot be read. What the layers hold is checked in convert_test.cpp.
# Usage: convert_tool_test.sh PATH/TO/orvane-convert TEST_DATA_DIR
set -uo pipefail
tool=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run EXPECTED_STATUS ARGS...: runs the tool, keeping its output in $work/out and $work/err.
run() {
  local expected=$1
  shift
  "$tool" "$@" >"$work/out" 2>"$work/err"
  local status=$?
  if [ "$status" -ne "$expected" ]; then
    fail "exit status $status, expected $expected: $*"
    sed 's/^/  /' "$work/out" "$work/err" >&2
    return 1
  fi
}

# is_lyr FILE: the file starts with the layer file version 0x0405.
is_lyr() { [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' \n')" = 0504 ]; }

# The report names objects, points, the file and its size in bytes.
if run 0 "$data/shp/source.geojson" --output "$work/source.lyr" --title name --brush '#00ff00' \
    --point square --font 'DejaVu Sans,11,#000080' --align right --offset 4 --zoom 0,5000; then
  is_lyr "$work/source.lyr" || fail "source.lyr is no layer file"
  size=$(stat -c %s "$work/source.lyr")
  grep -qx "orvane-convert: wrote 8 objects (34 points) to $work/source.lyr, $size bytes" "$work/out" ||
    fail "report: $(cat "$work/out")"
  grep -q "1 feature without usable geometry left out" "$work/err" || fail "no note: $(cat "$work/err")"
fi

# Every input kind; titles from a table column for shapefiles and MIF files.
run 0 "$data/shp/polygons.shp" --output "$work/polygons.LYR" --title 2 &&
  { grep -q "wrote 2 objects (19 points)" "$work/out" || fail "polygons: $(cat "$work/out")"; }
run 0 "$data/mif/features.mif" --output "$work/features.lyr" --title 2 &&
  { grep -q "wrote 10 objects" "$work/out" || fail "features: $(cat "$work/out")"; }
cat >"$work/tiny.json" <<'EOF'
{"type": "Topology", "transform": {"scale": [1, 1], "translate": [0, 0]},
 "arcs": [[[0, 0], [1, 0], [0, 1], [-1, -1]]],
 "objects": {"land": {"type": "Polygon", "arcs": [[0]]}, "sea": {"type": "Point", "coordinates": [5, 5]}}}
EOF
run 0 "$work/tiny.json" --output "$work/tiny.lyr" --object land &&
  { grep -q "wrote 1 objects (3 points)" "$work/out" || fail "tiny: $(cat "$work/out")"; }
run 0 "$work/tiny.json" --output="$work/tiny.lyr" --quiet --simplify 10 &&
  { [ ! -s "$work/out" ] || fail "--quiet printed: $(cat "$work/out")"; }

run 0 --help && { grep -q -- '--simplify KM' "$work/out" || fail "--help shows no options"; }

# Bad options: status 2, a message naming the problem, nothing written.
in="$data/shp/source.geojson"
bad_options=(
  "INPUT is required|--output $work/bad.lyr"
  "--output FILE is required|$in"
  "must name a .lyr file|$in --output $work/bad.shp"
  "INPUT must be a .geojson|$data/shp/points.dbf --output $work/bad.lyr"
  "one input file only|$in $in --output $work/bad.lyr"
  "unknown option '--colour'|$in --output $work/bad.lyr --colour red"
  "--pen wants a colour|$in --output $work/bad.lyr --pen red"
  "--pen width wants|$in --output $work/bad.lyr --pen #000000,-1"
  "--brush wants a colour|$in --output $work/bad.lyr --brush #12345"
  "--point wants one of none, dot|$in --output $work/bad.lyr --point star"
  "--point-size wants|$in --output $work/bad.lyr --point-size 0"
  "--font wants NAME,SIZE,COLOR|$in --output $work/bad.lyr --font Arial,9"
  "--font size wants|$in --output $work/bad.lyr --font Arial,big,#000000"
  "--align wants one of|$in --output $work/bad.lyr --align middle"
  "--offset wants|$in --output $work/bad.lyr --offset 1.5"
  "--zoom wants MIN,MAX|$in --output $work/bad.lyr --zoom 500,100"
  "--zoom wants MIN,MAX|$in --output $work/bad.lyr --zoom 0,1e9"
  "--zoom wants MIN,MAX|$in --output $work/bad.lyr --zoom 100"
  "--simplify wants|$in --output $work/bad.lyr --simplify -1"
  "needs a value|$in --output $work/bad.lyr --title"
  "--object applies to TopoJSON|$in --output $work/bad.lyr --object land"
  "--object applies to TopoJSON|$data/shp/points.shp --output $work/bad.lyr --object land"
  "--id applies to GeoJSON|$data/shp/points.shp --output $work/bad.lyr --id code"
  "--title wants a column number|$data/shp/points.shp --output $work/bad.lyr --title name"
  "the table of '$data/shp/points.shp' has 4 columns|$data/shp/points.shp --output $work/bad.lyr --title 9"
  "has no object 'roads'; it has land, sea|$work/tiny.json --output $work/bad.lyr --object roads"
)
for case in "${bad_options[@]}"; do
  message=${case%%|*}
  read -r -a args <<<"${case#*|}"
  if run 2 "${args[@]}"; then
    grep -qF -- "$message" "$work/err" || fail "no \"$message\" for ${args[*]}: $(cat "$work/err")"
    grep -q "Try 'orvane-convert --help'" "$work/err" || fail "no hint to --help for ${args[*]}"
  fi
  [ ! -e "$work/bad.lyr" ] || fail "a file was written for ${args[*]}"
done

# Input that cannot be read or is not valid, and output that cannot be written: status 1.
if run 1 "$work/missing.geojson" --output "$work/bad.lyr"; then
  grep -qF "cannot read '$work/missing.geojson': no such file" "$work/err" || fail "$(cat "$work/err")"
fi
printf '{"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":' >"$work/cut.geojson"
if run 1 "$work/cut.geojson" --output "$work/bad.lyr"; then
  grep -qF "'$work/cut.geojson' is not valid JSON" "$work/err" || fail "$(cat "$work/err")"
fi
printf '{"type": "LineString", "coordinates": [[0, 0], [0, 95]]}' >"$work/pole.geojson"
if run 1 "$work/pole.geojson" --output "$work/bad.lyr"; then
  grep -qF "'$work/pole.geojson', the geometry: position (0, 95)" "$work/err" || fail "$(cat "$work/err")"
fi
head -c 60 "$data/shp/points.shp" >"$work/cut.shp"
if run 1 "$work/cut.shp" --output "$work/bad.lyr"; then
  grep -qF "Truncated SHP file $work/cut.shp" "$work/err" || fail "$(cat "$work/err")"
fi
head -n 4 "$data/mif/features.mif" >"$work/cut.mif"
if run 1 "$work/cut.mif" --output "$work/bad.lyr"; then
  grep -qF "$work/cut.mif ends before the \"Data\" line" "$work/err" || fail "$(cat "$work/err")"
fi
[ ! -e "$work/bad.lyr" ] || fail "a file was written although the input was refused"
if run 1 "$in" --output "$work/no/such/folder/out.lyr"; then
  grep -qF "cannot write '$work/no/such/folder/out.lyr'" "$work/err" || fail "$(cat "$work/err")"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "convert tool: all checks passed"
