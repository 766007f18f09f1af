#!/usr/bin/env bash
# Centres of Maidenhead locators of 4 to 10 characters as Hamlib's rotctl computes them
# (dummy rotator, command "l"). Output: centres.csv with locator,lon,lat.
set -euo pipefail
cd "$(dirname "$0")"
locators=(JN88 JN88EF JN88EF12 JN88EF12AB PM95VQ RR99XX99XX AA00AA00AA FF38 GG66VV IO91WM44OK)
{
  echo "locator,lon,lat"
  for l in "${locators[@]}"; do
    mapfile -t out < <(printf 'l %s\n' "$l" | rotctl -m 1 - 2>/dev/null | tr -d '\0')
    # A blank line, then "l <locator> <longitude>", then the latitude.
    read -r _ _ lon <<<"${out[1]}"
    echo "$l,$lon,${out[2]}"
  done
} > centres.csv
