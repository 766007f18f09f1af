#!/usr/bin/env python3
"""Writes aeqd_table.txt: azimuthal equidistant positions computed by PROJ's `proj`
(package proj-bin) on the unit sphere, for the projection test to compare against.

Each line: centre latitude, centre longitude, latitude, longitude (all in GU, 5,400,000 a
degree), then x and y in earth radii (east and north of the centre). Run from anywhere;
the table is written beside this script. The seed is fixed, so the table only changes when
this script does.
"""
import os
import random
import subprocess

GU = 5_400_000
HERE = os.path.dirname(os.path.abspath(__file__))


def deg(gu):
    return f"{gu / GU:.12f}"


def main():
    rnd = random.Random(16)
    centres = [(90 * GU, 0), (-90 * GU, 0), (0, 0), (int(48.2 * GU), int(16.4 * GU)),
               (int(-33.9 * GU), int(151.2 * GU))]
    centres += [(rnd.randint(-90 * GU, 90 * GU), rnd.randint(-180 * GU, 180 * GU))
                for _ in range(7)]
    lines = []
    for lat0, lon0 in centres:
        points = [(rnd.randint(-90 * GU, 90 * GU), rnd.randint(-180 * GU, 180 * GU))
                  for _ in range(12)]
        # The poles, and points half a degree and ten degrees from the antipode (where the
        # map is most stretched) in a few directions.
        points += [(90 * GU, 0), (-90 * GU, 0)]
        alat, alon = -lat0, lon0 + 180 * GU if lon0 <= 0 else lon0 - 180 * GU
        for dlat, dlon in ((GU // 2, 0), (-GU // 2, 0), (0, GU), (10 * GU, 0)):
            lat = alat + dlat
            if -90 * GU < lat < 90 * GU:
                points.append((lat, alon + dlon if alon + dlon <= 180 * GU else alon - dlon))
        text = "".join(f"{deg(lon)} {deg(lat)}\n" for lat, lon in points)
        out = subprocess.run(
            ["proj", "+proj=aeqd", f"+lat_0={deg(lat0)}", f"+lon_0={deg(lon0)}", "+R=1",
             "-f", "%.12f"],
            input=text, capture_output=True, text=True, check=True).stdout.split("\n")
        for (lat, lon), xy in zip(points, out):
            x, y = xy.split()
            if x == "*":  # the antipode itself: PROJ gives no position, tested apart
                continue
            lines.append(f"{lat0} {lon0} {lat} {lon} {x} {y}\n")
    with open(os.path.join(HERE, "aeqd_table.txt"), "w") as f:
        f.write("# centre lat, centre lon, lat, lon (GU); x, y (earth radii) by PROJ "
                "+proj=aeqd +R=1\n")
        f.writelines(lines)


if __name__ == "__main__":
    main()
