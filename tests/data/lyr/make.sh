#!/usr/bin/env bash
# Remakes the files that are not layer files, for the reader's refusal: a PNG picture written
# by ImageMagick (without its time stamps, so that the bytes stay the same).
set -euo pipefail
cd "$(dirname "$0")"
convert -size 8x4 xc:red -strip PNG:red_8x4.png
