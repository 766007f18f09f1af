#!/usr/bin/env bash
# Remakes the MIF/MID fixtures of kinds.geojson and cyrillic.geojson with GDAL's ogr2ogr
# (features.mif/.mid come from ../shp/make.sh).
#
# One layer with a point, a line, a line of two parts (Pline Multiple), a polygon with a
# hole (Region) and two texts (Text: the features whose style is a LABEL, one of them turned
# by 30 degrees), written in every version GDAL writes, chosen by the columns it must hold:
# 300 (text and numbers), 450 (a date column) and 900 (a time column). GDAL writes no
# version 650 file; kinds650.mif is kinds300.mif with its version line changed. Charsets:
# "Neutral" with UTF-8 text (GDAL's default), "WindowsLatin1" and "WindowsCyrillic".
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

mif() {  # mif <name> <source> <columns> [ogr2ogr options...]
  local name=$1 src=$2 columns=$3
  shift 3
  ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF -nln "$name" "$@" \
    -sql "SELECT $columns FROM $(basename "$src" .geojson)" "$tmp/$name.mif" "$src"
  cp "$tmp/$name.mif" "$tmp/$name.mid" .
}

mif kinds300 kinds.geojson "name, style AS OGR_STYLE"
mif kinds450 kinds.geojson "name, d, style AS OGR_STYLE"
mif kinds900 kinds.geojson "name, t, style AS OGR_STYLE"
mif kinds_latin1 kinds.geojson "name, style AS OGR_STYLE" -lco ENCODING=CP1252
mif cyrillic cyrillic.geojson "name" -lco ENCODING=CP1251
sed 's/^Version 300$/Version 650/' kinds300.mif >kinds650.mif
cp kinds300.mid kinds650.mid
