// Capitals and large cities as GeoJSON points.
//   node places.mjs CITIES.pbf COUNTRIES.json CAPITALS.geojson CITIES.geojson
// Capitals: every country of world-countries that names a capital, placed at the GeoNames
// city of that country which GeoNames marks as the capital (PPLC) or, failing that, at the
// most populous GeoNames city of that country with the capital's name. The title is the
// world-countries name, which follows current spellings (Astana, Naypyidaw).
// Cities: GeoNames cities of at least MIN_POPULATION people that are not capitals.
import { readFileSync } from 'node:fs';
import { readCities } from './geonames.mjs';
import { cp1252Title, pointFeature, writeCollection } from './common.mjs';

const MIN_POPULATION = 500000;

const [citiesFile, countriesFile, capitalsOut, citiesOut] = process.argv.slice(2);
if (!citiesOut) {
  console.error('usage: node places.mjs CITIES.pbf COUNTRIES.json CAPITALS.geojson CITIES.geojson');
  process.exit(2);
}
const cities = readCities(citiesFile);
const countries = JSON.parse(readFileSync(countriesFile, 'utf8'));

const simplify = (s) => s.normalize('NFD').replace(/\p{M}/gu, '').toLowerCase()
  .replace(/[’‘`]/g, "'").replace(/^(st\.?|saint) /, 'saint ').replace(/^city of /, '');

const capitals = [];
const used = new Set();
for (const country of countries) {
  for (const name of country.capital ?? []) {
    const inCountry = cities.filter((c) => c.country === country.cca2);
    let city = inCountry.find((c) => c.featureCode === 'PPLC');
    if (!city || country.capital.length > 1) {
      // Countries with several capitals: each by its own name.
      const named = inCountry.filter((c) => simplify(c.name) === simplify(name))
        .sort((a, b) => b.population - a.population);
      city = named[0] ?? (country.capital.length > 1 ? undefined : city);
    }
    if (!city) { console.warn(`no position for ${name} (${country.cca2}), left out`); continue; }
    used.add(city);
    capitals.push(pointFeature(city.lon, city.lat,
      { name: cp1252Title(name), country: country.name.common, population: city.population }));
  }
}
// GeoNames capitals of places world-countries does not list with one.
for (const city of cities) {
  if (city.featureCode === 'PPLC' && !used.has(city) &&
      !countries.some((c) => c.cca2 === city.country && c.capital?.length)) {
    used.add(city);
    capitals.push(pointFeature(city.lon, city.lat,
      { name: cp1252Title(city.name), country: city.country, population: city.population }));
  }
}
capitals.sort((a, b) => b.properties.population - a.properties.population);
writeCollection(capitalsOut, capitals);

const large = cities.filter((c) => c.population >= MIN_POPULATION && !used.has(c) &&
                                   c.featureCode !== 'PPLC')
  .sort((a, b) => b.population - a.population)
  .map((c) => pointFeature(c.lon, c.lat,
    { name: cp1252Title(c.name), country: c.country, population: c.population }));
writeCollection(citiesOut, large);
