#!/usr/bin/env bash
# Makes the Natural Earth countries at 1:110m as a shapefile with its dBase table and as a
# MIF/MID pair, with GDAL's ogr2ogr from the TopoJSON of the npm package world-atlas (the
# same data, at a coarser scale, as the shipped world.lyr).
set -euo pipefail
cd "$(dirname "$0")"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && npm pack --silent world-atlas@2.0.2 >/dev/null && tar xzf world-atlas-2.0.2.tgz)
source="$scratch/package/countries-110m.json"
rm -f countries-110m.*
ogr2ogr -a_srs EPSG:4326 -f "ESRI Shapefile" -lco ENCODING=CP1252 countries-110m.shp "$source" countries
ogr2ogr -a_srs EPSG:4326 -f "MapInfo File" -dsco FORMAT=MIF countries-110m.mif "$source" countries
rm -f countries-110m.cpg
