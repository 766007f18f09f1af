// Helpers shared by the data scripts.
import { writeFileSync } from 'node:fs';

// Windows-1252 characters above 0x7F outside Latin-1 that layer titles can hold.
const CP1252_EXTRA = new Set('€‚ƒ„…†‡ˆ‰Š‹ŒŽ‘’“”•–—˜™š›œžŸ');

// Layer titles are stored in code page 1252: letters it lacks lose their accents
// ("Chișinău" → "Chisinau") instead of turning into question marks.
export function cp1252Title(text) {
  let out = '';
  for (const ch of text) {
    if (ch.codePointAt(0) < 0x100 || CP1252_EXTRA.has(ch)) { out += ch; continue; }
    const bare = ch.normalize('NFD').replace(/\p{M}/gu, '');
    out += [...bare].every((c) => c.codePointAt(0) < 0x100) ? bare : '?';
  }
  return out;
}

export function pointFeature(lon, lat, properties) {
  return { type: 'Feature', properties,
           geometry: { type: 'Point', coordinates: [round5(lon), round5(lat)] } };
}

export function writeCollection(file, features) {
  writeFileSync(file, JSON.stringify({ type: 'FeatureCollection', features }) + '\n');
  console.log(`${file}: ${features.length} features`);
}

export function round5(x) { return Math.round(x * 1e5) / 1e5; }
