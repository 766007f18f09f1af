#!/usr/bin/env bash
# Short-path distance and initial bearing for pairs of stations, computed by PROJ's geod on
# a sphere of the globe component's earth radius (309,397,230 GU at 48,596.112311 GU per km).
# Output: paths.csv with lat1,lon1,lat2,lon2,bearing_deg,distance_km.
set -euo pipefail
cd "$(dirname "$0")"
R=$(awk 'BEGIN { printf "%.6f", 309397230 / 48596.11231101512 * 1000 }')
pairs=(
  "48.21 16.37 35.69 139.69"    # Vienna to Tokyo
  "48.21 16.37 -33.87 151.21"   # Vienna to Sydney
  "48.21 16.37 40.71 -74.01"    # Vienna to New York
  "51.5 -0.12 -34.6 -58.4"      # London to Buenos Aires
  "0 0 0 90"                    # a quarter of the equator
  "10 170 -10 -170"             # across 180 degrees
  "80 0 -70 180"                # over the north pole
  "-45 30 44.5 -149.5"          # nearly antipodal
  "48.21 16.37 48.22 16.38"     # a kilometre or so
  "-60 -70 -60 110"             # over the south pole
)
{
  echo "lat1,lon1,lat2,lon2,bearing_deg,distance_km"
  for p in "${pairs[@]}"; do
    read -r a b c d <<<"$p"
    out=$(echo "$a $b $c $d" | geod +a="$R" +es=0 -I -f "%.9f" -F "%.6f")
    read -r az12 _az21 dist <<<"$out"
    echo "$a,$b,$c,$d,$az12,$(awk -v m="$dist" 'BEGIN { printf "%.6f", m / 1000 }')"
  done
} > paths.csv
