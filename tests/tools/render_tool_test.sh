#!/usr/bin/env bash
# orvane-render from the outside: the files it writes, and how it refuses bad options and
# files that cannot be read or written.
# Usage: render_tool_test.sh PATH/TO/orvane-render TEXTURE_FIXTURE_DIR
set -uo pipefail
tool=$1
textures=$2
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

# png_size FILE: "WIDTH HEIGHT" from the PNG header, or nothing when it is no PNG.
png_size() {
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
  [ "$(head -c 16 "$1" | tail -c 4)" = IHDR ] || return 0
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'
}

# A textured sphere with the night side shaded: a PNG of the asked size, and a line saying so.
if run 0 --output "$work/globe.png" --size 320x240 --texture "$textures/palette_10x5.bmp" \
    --shadow 2026-12-10T12:00:00Z --center 48,11; then
  [ "$(png_size "$work/globe.png")" = "320 240" ] || fail "globe.png is not a 320 x 240 PNG"
  grep -q "wrote $work/globe.png (320 x 240, TSphericalPrj" "$work/out" ||
    fail "no report of the file written: $(cat "$work/out")"
  grep -q "sun over 22\.9[0-9]°S 1\.80°W" "$work/out" || fail "no sub-solar point: $(cat "$work/out")"
fi

# The darkening ramp with night lights: the night side of a white texture turns dark.
if run 0 --output "$work/lights.png" --size 64x48 --projection flat --graticule 0 \
    --texture "$textures/gray_16x16.bmp" --night-lights "$textures/palette_10x5.bmp" \
    --shading darken --night '#000000' --shadow 2026-12-10T12:00:00Z; then
  [ "$(png_size "$work/lights.png")" = "64 48" ] || fail "lights.png is not a 64 x 48 PNG"
fi

# Defaults: 1024 x 768; a flat map; the time "now".
if run 0 --output "$work/flat.PNG" --projection flat --shadow now --graticule 0; then
  [ "$(png_size "$work/flat.PNG")" = "1024 768" ] || fail "flat.PNG is not a 1024 x 768 PNG"
fi

# The azimuthal map by its short name, centred where --center says.
if run 0 --output "$work/azimuthal.png" --size 96x64 --projection azimuthal --center 48.2,16.4 \
    --texture "$textures/palette_10x5.bmp"; then
  [ "$(png_size "$work/azimuthal.png")" = "96 64" ] || fail "azimuthal.png is not a 96 x 64 PNG"
  grep -q "TAzimuthalPrj centred on 48\.20°N 16\.40°E" "$work/out" ||
    fail "the azimuthal map is not centred on the point asked: $(cat "$work/out")"
fi

# png_pixels FILE: the picture's RGB bytes in hex, decoded from the file (any filters).
png_pixels() {
  python3 - "$1" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], "rb").read()
pos, idat, width, height = 8, b"", 0, 0
while pos < len(data):
    size, kind = struct.unpack(">I4s", data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + size]
    if kind == b"IHDR":
        width, height, depth, colour = struct.unpack(">IIBB", body[:10])
        assert (depth, colour) == (8, 2), "not 8-bit RGB"
    elif kind == b"IDAT":
        idat += body
    pos += 12 + size
raw, stride, rows, prev = zlib.decompress(idat), width * 3, [], bytearray(width * 3)
for y in range(height):
    kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
    for x in range(stride):
        a = line[x - 3] if x >= 3 else 0
        b, c = prev[x], prev[x - 3] if x >= 3 else 0
        p = a + b - c
        pred = [0, a, b, (a + b) // 2,
                a if abs(p - a) <= min(abs(p - b), abs(p - c)) else b if abs(p - b) <= abs(p - c) else c][kind]
        line[x] = (line[x] + pred) & 255
    rows.append(line)
    prev = line
print(b"".join(rows).hex())
PY
}

# The compression level changes the file's size, never its pixels; the surface colour of a
# flat map (red, from an environment document) lands in the middle as red.
printf '<TGlobe SurfaceColor="$000000FF"/>\r\n' >"$work/red.xml"
for level in 0 9; do
  run 0 --output "$work/level$level.png" --size 40x20 --environment "$work/red.xml" \
    --projection flat --graticule 0 --png-compression "$level"
done
if [ -s "$work/level0.png" ] && [ -s "$work/level9.png" ]; then
  [ "$(stat -c %s "$work/level0.png")" -gt $(((40 * 3 + 1) * 20)) ] ||
    fail "level 0 did not store the rows as they are"
  [ "$(stat -c %s "$work/level9.png")" -lt "$(stat -c %s "$work/level0.png")" ] ||
    fail "level 9 is no smaller than level 0"
  pixels=$(png_pixels "$work/level0.png")
  [ "$pixels" = "$(png_pixels "$work/level9.png")" ] || fail "levels 0 and 9 differ in pixels"
  middle=$(((10 * 40 + 20) * 6))
  [ "${pixels:$middle:6}" = ff0000 ] || fail "the middle is ${pixels:$middle:6}, not red ff0000"
fi

# An altitude that shows a few kilometres is drawn, with a note naming what fits the whole
# earth (the value 0 would give; it depends on the picture's size); one that shows the
# earth is drawn without a note.
if run 0 --output "$work/near.png" --size 200x100 --altitude 500; then
  grep -q "note: --altitude 500 shows only about 1 km .*; 5192[0-9]* (or 0) fits the whole earth" "$work/err" ||
    fail "no note about a small altitude: $(cat "$work/err")"
fi
if run 0 --output "$work/far.png" --size 200x100 --altitude 5192000; then
  grep -q "note:" "$work/err" && fail "a note for an altitude showing the earth: $(cat "$work/err")"
fi

# Vector output, with a note that the texture is not in it.
if run 0 --output "$work/globe.svg" --size 200x100 --texture "$textures/palette_10x5.bmp"; then
  grep -q '<svg' "$work/globe.svg" || fail "globe.svg holds no SVG"
  grep -q 'neither texture' "$work/err" || fail "no note about the texture in vector files"
fi
if run 0 --output "$work/globe.pdf" --size 200x100; then
  [ "$(head -c 5 "$work/globe.pdf")" = "%PDF-" ] || fail "globe.pdf is no PDF"
fi

# An environment document sets the view; the options given with it override it.
printf '<TGlobe SurfaceColor="$000000FF"><Projection XRotation="10"/></TGlobe>\r\n' >"$work/view.xml"
if run 0 --output "$work/env.png" --size 64x48 --environment "$work/view.xml" --projection flat; then
  grep -q "TCartesianPrj" "$work/out" || fail "the projection option did not override: $(cat "$work/out")"
fi

run 0 --help && { grep -q -- '--shadow UTC' "$work/out" || fail "--help shows no options"; }

# Bad options: status 2, a message naming the problem, nothing written.
bad_options=(
  "unknown option '--colour'|--output $work/bad.png --colour red"
  "--output FILE is required|--size 10x10"
  "must name a .png, .svg or .pdf|--output $work/bad.gif"
  "--size wants|--output $work/bad.png --size 0x10"
  "--size wants|--output $work/bad.png --size 100"
  "--center wants|--output $work/bad.png --center 91,0"
  "--shadow wants|--output $work/bad.png --shadow 2026-02-30T00:00:00Z"
  "--shadow wants|--output $work/bad.png --shadow yesterday"
  "--graticule wants|--output $work/bad.png --graticule 90"
  "--scale wants|--output $work/bad.png --scale -2"
  "not both|--output $work/bad.png --scale 2 --altitude 100"
  "--night wants a colour|--output $work/bad.png --night #12345"
  "--shading wants blend, darken or bands|--output $work/bad.png --shading soft"
  "--png-compression wants a level of 0 to 9|--output $work/bad.png --png-compression 10"
  "--png-compression wants a level of 0 to 9|--output $work/bad.png --png-compression fast"
  "needs a value|--output $work/bad.png --texture"
  "unknown projection 'globe'|--output $work/bad.png --projection globe"
)
for case in "${bad_options[@]}"; do
  message=${case%%|*}
  read -r -a args <<<"${case#*|}"
  if run 2 "${args[@]}"; then
    grep -qF -- "$message" "$work/err" || fail "no \"$message\" for ${args[*]}: $(cat "$work/err")"
  fi
  [ ! -e "$work/bad.png" ] || fail "a file was written for ${args[*]}"
done

# Files that cannot be read or written: status 1.
if run 1 --output "$work/bad.png" --texture "$work/missing.bmp"; then
  grep -q "cannot read texture '$work/missing.bmp'" "$work/err" || fail "$(cat "$work/err")"
fi
if run 1 --output "$work/bad.png" --night-lights "$textures/truecolor_8x4.bmp" --shadow now; then
  grep -q "cannot use night lights" "$work/err" || fail "$(cat "$work/err")"
fi
if run 1 --output "$work/bad.png" --texture "$textures/truecolor_8x4.bmp"; then
  grep -q "256 color" "$work/err" || fail "no reason for refusing a 24-bit bitmap: $(cat "$work/err")"
fi
if run 1 --output "$work/bad.png" --environment "$textures/palette_10x5.bmp"; then
  grep -q "is not an environment document" "$work/err" || fail "$(cat "$work/err")"
fi
# A note of the operator's under the name of a layer's index file is kept, and said so;
# the layer is drawn all the same.
cp "$textures/../mif/features.mif" "$textures/../mif/features.mid" "$work/"
printf '# Features\nThe operator'"'"'s notes.\n' >"$work/features.mif.md"
cp "$work/features.mif.md" "$work/note.expected"
if run 0 --output "$work/noted.png" --size 32x24 --layer "$work/features.mif"; then
  grep -qF "note: $work/features.mif.md is not a metadata file" "$work/err" ||
    fail "no note about a foreign index file: $(cat "$work/err")"
  cmp -s "$work/features.mif.md" "$work/note.expected" || fail "the operator's note was changed"
fi

# Layers cut short, or no layer file at all, are errors too, not an empty layer.
head -c 60 "$textures/../shp/points.shp" >"$work/cut.shp"
head -n 4 "$textures/../mif/features.mif" >"$work/cut.mif"
cp "$textures/../lyr/red_8x4.png" "$work/picture.lyr"
for case in "cut.shp|Truncated SHP file $work/cut.shp" \
    "cut.mif|$work/cut.mif ends before the \"Data\" line" \
    "picture.lyr|$work/picture.lyr is not a layer file"; do
  if run 1 --output "$work/bad.png" --size 10x10 --layer "$work/${case%%|*}"; then
    grep -qF "${case#*|}" "$work/err" || fail "no \"${case#*|}\": $(cat "$work/err")"
  fi
done
[ ! -e "$work/bad.png" ] || fail "a file was written although an input was refused"
run 1 --output "$work/no/such/folder/out.png" --size 10x10
run 1 --output "$work/no/such/folder/out.svg" --size 10x10

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "render tool: all checks passed"
