#!/usr/bin/env bash
# Remakes the shapefile and MIF/MID fixtures from source.geojson with GDAL's ogr2ogr.
#
# Shapefiles hold one shape type each, so the features are split by their "kind": points
# (one of them without geometry, which becomes a null shape), lines, polygons (with holes
# and several parts) and multipoints; then lines, points and polygons again as the Z and M
# variants. The dBase tables are written in code page 1252. The indexes (.shx) are kept so
# that other tools read the files, although the reader does not use them. All features, the
# one without geometry included, go into one MIF/MID pair in ../mif.
set -euo pipefail
cd "$(dirname "$0")"
src=source.geojson
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

shape() {  # shape <name> <kind> [ogr2ogr options...]
  local name=$1 kind=$2
  shift 2
  ogr2ogr -f "ESRI Shapefile" -lco ENCODING=CP1252 -where "kind='$kind'" -nln "$name" "$@" \
    "$tmp/$name.shp" "$src"
  cp "$tmp/$name.shp" "$tmp/$name.shx" "$tmp/$name.dbf" .
}

shape points point
shape lines line
shape polygons polygon
shape multipoints multipoint
shape lines_z line -lco SHPT=ARCZ
shape points_m point -lco SHPT=POINTM
shape polygons_z polygon -lco SHPT=POLYGONZ

ogr2ogr -f "MapInfo File" -dsco FORMAT=MIF -lco ENCODING=CP1252 "$tmp/features.mif" "$src"
cp "$tmp/features.mif" "$tmp/features.mid" ../mif/
