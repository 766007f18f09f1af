#!/usr/bin/env python3
"""Writes subsolar.csv: the sub-solar point at instants from 1900 to 2100, as NOAA's solar
calculator spreadsheet (NOAA Global Monitoring Laboratory, "General Solar Position
Calculations", NOAA_Solar_Calculations_day.xls, after Meeus, Astronomical Algorithms)
computes it: declination from the apparent solar longitude and the corrected obliquity,
and the equation of time; the sun stands in the zenith where true solar time is noon.

Written out from the spreadsheet's cell formulas, independently of the C++ code.
Deterministic: fixed instants plus a seeded random sample."""
import math
import os
import random
from datetime import datetime, timedelta, timezone

EPOCH = datetime(1899, 12, 30, tzinfo=timezone.utc)  # day 0 of the date-time values


def noaa(t):
    jd = (t - datetime(2000, 1, 1, 12, tzinfo=timezone.utc)) / timedelta(days=1) + 2451545.0
    jc = (jd - 2451545) / 36525                                        # Julian century
    l0 = (280.46646 + jc * (36000.76983 + jc * 0.0003032)) % 360       # geom mean long sun
    m = 357.52911 + jc * (35999.05029 - 0.0001537 * jc)                # geom mean anom sun
    e = 0.016708634 - jc * (0.000042037 + 0.0000001267 * jc)           # eccent earth orbit
    c = (math.sin(math.radians(m)) * (1.914602 - jc * (0.004817 + 0.000014 * jc))
         + math.sin(math.radians(2 * m)) * (0.019993 - 0.000101 * jc)
         + math.sin(math.radians(3 * m)) * 0.000289)                   # sun eq of ctr
    true_long = l0 + c
    app_long = true_long - 0.00569 - 0.00478 * math.sin(math.radians(125.04 - 1934.136 * jc))
    mean_obliq = 23 + (26 + (21.448 - jc * (46.815 + jc * (0.00059 - jc * 0.001813))) / 60) / 60
    obliq = mean_obliq + 0.00256 * math.cos(math.radians(125.04 - 1934.136 * jc))
    decl = math.degrees(math.asin(math.sin(math.radians(obliq)) * math.sin(math.radians(app_long))))
    y = math.tan(math.radians(obliq / 2)) ** 2
    eqtime = 4 * math.degrees(
        y * math.sin(2 * math.radians(l0))
        - 2 * e * math.sin(math.radians(m))
        + 4 * e * y * math.sin(math.radians(m)) * math.cos(2 * math.radians(l0))
        - 0.5 * y * y * math.sin(4 * math.radians(l0))
        - 1.25 * e * e * math.sin(2 * math.radians(m)))                # minutes
    minutes = (t - t.replace(hour=0, minute=0, second=0, microsecond=0)) / timedelta(minutes=1)
    # True solar time = minutes + eqtime + 4 * longitude; noon (720) under the sun.
    lon = (720 - minutes - eqtime) / 4
    lon = (lon + 180) % 360 - 180
    return decl, lon, eqtime


def main():
    u = timezone.utc
    fixed = [
        datetime(1900, 1, 1, 0, 0, tzinfo=u),
        datetime(1900, 3, 1, 12, 0, tzinfo=u),
        datetime(1950, 6, 21, 6, 30, tzinfo=u),
        datetime(2000, 1, 1, 12, 0, tzinfo=u),
        datetime(2020, 3, 20, 3, 50, tzinfo=u),    # March equinox
        datetime(2024, 2, 11, 12, 0, tzinfo=u),    # equation of time near its minimum
        datetime(2024, 6, 20, 20, 51, tzinfo=u),   # June solstice
        datetime(2024, 11, 3, 12, 0, tzinfo=u),    # equation of time near its maximum
        datetime(2024, 12, 21, 9, 20, tzinfo=u),   # December solstice
        datetime(2026, 12, 10, 18, 0, tzinfo=u),
        datetime(2026, 12, 31, 23, 59, 59, tzinfo=u),
        datetime(2027, 1, 1, 0, 0, 1, tzinfo=u),
        datetime(2100, 12, 31, 23, 0, tzinfo=u),
    ]
    rng = random.Random(17)
    span = (datetime(2101, 1, 1, tzinfo=u) - datetime(1900, 1, 1, tzinfo=u)).total_seconds()
    sample = [datetime(1900, 1, 1, tzinfo=u) + timedelta(seconds=rng.randrange(int(span)))
              for _ in range(60)]
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "subsolar.csv"), "w") as f:
        f.write("# The sub-solar point by NOAA's solar calculator formulas (make.py).\n")
        f.write("# utc,date-time value (days from 1899-12-30),latitude deg,longitude deg,"
                "equation of time min\n")
        for t in fixed + sorted(sample):
            decl, lon, eqt = noaa(t)
            days = (t - EPOCH) / timedelta(days=1)
            f.write(f"{t:%Y-%m-%dT%H:%M:%SZ},{days:.9f},{decl:.6f},{lon:.6f},{eqt:.4f}\n")


if __name__ == "__main__":
    main()
