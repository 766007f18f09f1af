#!/usr/bin/env bash
# The same scene drawn by orvane-render on Linux and by orvane-render.exe under Wine, compared
# by compare_pictures.py.
# Usage: same_picture_test.sh OUT_DIR NAME exact|edges:MAX_PERCENT LINUX_TOOL WINDOWS_TOOL \
#        WINE_RUN PREFIX -- RENDER_OPTIONS...
# The pictures and, when they differ, the difference picture stay in OUT_DIR as NAME-*.png.
set -euo pipefail
out=$1 name=$2 mode=$3 linux_tool=$4 windows_tool=$5 wine_run=$6 prefix=$7
shift 7
[ "$1" = -- ] && shift
here=$(dirname "$0")
if [ ! -x "$linux_tool" ]; then
  echo "the Linux render tool $linux_tool is missing: build the test preset first" \
       "(cmake --build --preset test), as scripts/test does" >&2
  exit 1
fi
mkdir -p "$out"
rm -f "$out/$name-linux.png" "$out/$name-windows.png" "$out/$name-difference.png"
ASAN_OPTIONS=detect_leaks=0 "$linux_tool" --output "$out/$name-linux.png" "$@" >/dev/null
"$wine_run" "$prefix" "$windows_tool" --output "$out/$name-windows.png" "$@" >/dev/null
compare=("$here/compare_pictures.py" "$out/$name-linux.png" "$out/$name-windows.png"
         "$out/$name-difference.png")
[ "$mode" = exact ] || compare+=(--edges "${mode#edges:}")
python3 "${compare[@]}"
