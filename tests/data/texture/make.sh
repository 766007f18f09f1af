#!/usr/bin/env bash
# Remakes the texture fixtures with ImageMagick: two uncompressed 8-bit bitmaps (one whose
# width is not a multiple of 4, one with a full 256-grey palette), the first again
# run-length encoded, and a 24-bit bitmap.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Pixel (x, y) of the 10 x 5 picture (y = 0 at the top) is red 20x+10, green 40y+20, blue 100.
python3 - "$tmp" <<'PY'
import sys
d = sys.argv[1]
with open(f"{d}/w10x5.ppm", "wb") as f:
    f.write(b"P6\n10 5\n255\n")
    f.write(bytes(v for y in range(5) for x in range(10) for v in (20 * x + 10, 40 * y + 20, 100)))
with open(f"{d}/g16.pgm", "wb") as f:
    f.write(b"P5\n16 16\n255\n" + bytes(range(256)))
PY
convert "$tmp/w10x5.ppm" -type Palette -compress None BMP3:palette_10x5.bmp
convert "$tmp/g16.pgm" -type Palette -compress None BMP3:gray_16x16.bmp
convert "$tmp/w10x5.ppm" -type Palette -compress RLE BMP3:rle8_10x5.bmp
convert -size 8x4 xc:red -type TrueColor -compress None BMP3:truecolor_8x4.bmp
