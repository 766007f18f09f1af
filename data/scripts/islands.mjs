// Island groups as GeoJSON points, derived from the Natural Earth land polygons: every
// landmass smaller than a continent and not in a lake is an island; islands of one country that lie close to
// each other form a group. A group is placed on its largest island and titled with the
// country it belongs to, as no public list of island groups is at hand.
//   node islands.mjs LAND.json COUNTRIES.json ISLANDS.geojson
import { readFileSync } from 'node:fs';
import { polygons } from './topojson.mjs';
import { cp1252Title, pointFeature, writeCollection } from './common.mjs';

// Greenland (2.1 million km²) counts as an island, Australia (7.6) as a continent.
const CONTINENT_KM2 = 3e6;
// Islands of one country whose coasts come closer than this join one group.
const GROUP_GAP_KM = 200;
// Specks below this are left out: they are noise at 1:50m.
const MIN_KM2 = 1;
const EARTH_KM = 6371.0088;

const [landFile, countriesFile, out] = process.argv.slice(2);
if (!out) {
  console.error('usage: node islands.mjs LAND.json COUNTRIES.json ISLANDS.geojson');
  process.exit(2);
}
const land = polygons(JSON.parse(readFileSync(landFile, 'utf8')), 'land');
const countries = polygons(JSON.parse(readFileSync(countriesFile, 'utf8')), 'countries');

const rad = Math.PI / 180;
// Longitudes of a ring made continuous, so that rings across 180° measure right.
const unwrap = (ring) => {
  let prev = ring[0][0];
  return ring.map(([lon, lat]) => {
    while (lon - prev > 180) lon -= 360;
    while (lon - prev < -180) lon += 360;
    prev = lon;
    return [lon, lat];
  });
};
// Area (km²) and centroid of a ring on a local equal-area projection.
function measure(ring) {
  const r = unwrap(ring);
  let a = 0, cx = 0, cy = 0;
  for (let i = 0, j = r.length - 1; i < r.length; j = i++) {
    const x0 = r[j][0] * rad, y0 = Math.sin(r[j][1] * rad);
    const x1 = r[i][0] * rad, y1 = Math.sin(r[i][1] * rad);
    const f = x0 * y1 - x1 * y0;
    a += f; cx += (x0 + x1) * f; cy += (y0 + y1) * f;
  }
  if (a === 0) return { area: 0, lon: r[0][0], lat: r[0][1], ring: r };
  const lon = cx / (3 * a) / rad, lat = Math.asin(Math.max(-1, Math.min(1, cy / (3 * a)))) / rad;
  return { area: Math.abs(a / 2) * EARTH_KM * EARTH_KM, lon, lat, ring: r };
}
const wrap = (lon) => ((((lon + 180) % 360) + 360) % 360) - 180;
function distanceKm(lon0, lat0, lon1, lat1) {
  const h = Math.sin((lat1 - lat0) * rad / 2) ** 2 +
            Math.cos(lat0 * rad) * Math.cos(lat1 * rad) * Math.sin((lon1 - lon0) * rad / 2) ** 2;
  return 2 * EARTH_KM * Math.asin(Math.min(1, Math.sqrt(h)));
}
function inside(ring, lon, lat) {
  let c = false;
  for (let i = 0, j = ring.length - 1; i < ring.length; j = i++) {
    const [xi, yi] = ring[i], [xj, yj] = ring[j];
    if ((yi > lat) !== (yj > lat) && lon < ((xj - xi) * (lat - yi)) / (yj - yi) + xi) c = !c;
  }
  return c;
}

const countryParts = countries.map((c) => {
  const m = measure(c.rings[0]);
  const lons = m.ring.map((p) => p[0]), lats = m.ring.map((p) => p[1]);
  return { name: c.properties.name ?? '', ring: m.ring,
           box: [Math.min(...lons), Math.min(...lats), Math.max(...lons), Math.max(...lats)] };
});
// The country whose polygon holds the point; failing that (a centroid in a bay), the one
// with the nearest vertex.
function countryOf(lon, lat) {
  for (const part of countryParts) {
    for (const shift of [0, 360, -360]) {
      const x = lon + shift, [x0, y0, x1, y1] = part.box;
      if (x >= x0 && x <= x1 && lat >= y0 && lat <= y1 && inside(part.ring, x, lat))
        return part.name;
    }
  }
  let best = '', bestKm = Infinity;
  for (const part of countryParts)
    for (const [x, y] of part.ring) {
      const d = distanceKm(lon, lat, x, y);
      if (d < bestKm) { bestKm = d; best = part.name; }
    }
  return best;
}

const landmasses = land.map((p) => {
  const m = measure(p.rings[0]);
  const lons = m.ring.map((q) => q[0]), lats = m.ring.map((q) => q[1]);
  return { ...m, box: [Math.min(...lons), Math.min(...lats), Math.max(...lons), Math.max(...lats)] };
});
// Islands in lakes lie inside the outline of a larger landmass (the lake is a hole in it).
const inLake = (m) => landmasses.some((other) => {
  if (other.area <= m.area) return false;
  return [0, 360, -360].some((shift) => {
    const x = m.ring[0][0] + shift, y = m.ring[0][1], [x0, y0, x1, y1] = other.box;
    return x >= x0 && x <= x1 && y >= y0 && y <= y1 && inside(other.ring, x, y);
  });
});
const islands = landmasses
  .filter((m) => m.area >= MIN_KM2 && m.area < CONTINENT_KM2 && !inLake(m))
  .map((m) => ({ ...m, radius: Math.sqrt(m.area / Math.PI), country: countryOf(m.lon, m.lat) }));

// Single-linkage grouping; the gap is measured between the islands' equal-area discs.
const parent = islands.map((_, i) => i);
const root = (i) => (parent[i] === i ? i : (parent[i] = root(parent[i])));
for (let i = 0; i < islands.length; i++)
  for (let j = i + 1; j < islands.length; j++) {
    const a = islands[i], b = islands[j];
    if (a.country !== b.country) continue;
    const gap = distanceKm(a.lon, a.lat, b.lon, b.lat) - a.radius - b.radius;
    if (gap < GROUP_GAP_KM) parent[root(i)] = root(j);
  }
const groups = new Map();
islands.forEach((island, i) => {
  const r = root(i);
  if (!groups.has(r)) groups.set(r, []);
  groups.get(r).push(island);
});

const features = [...groups.values()].map((members) => {
  members.sort((a, b) => b.area - a.area);
  const main = members[0];
  const area = members.reduce((s, m) => s + m.area, 0);
  return pointFeature(wrap(main.lon), main.lat,
    { name: cp1252Title(main.country || 'Island group'), islands: members.length,
      area_km2: Math.round(area) });
}).sort((a, b) => b.properties.area_km2 - a.properties.area_km2);
writeCollection(out, features);
