// The star-field background: 800 × 600, 24 bits a pixel, black sky with a few thousand
// stars of varied brightness, some faintly coloured. A fixed seed makes every build write
// the same bytes.
//   node starfield.mjs OUT.bmp
import { writeFileSync } from 'node:fs';

const WIDTH = 800, HEIGHT = 600, STARS = 2600, SEED = 0x5eed1e55;

const out = process.argv[2];
if (!out) { console.error('usage: node starfield.mjs OUT.bmp'); process.exit(2); }

// mulberry32: small, and the same on every platform.
let state = SEED;
const random = () => {
  state = (state + 0x6d2b79f5) | 0;
  let t = Math.imul(state ^ (state >>> 15), 1 | state);
  t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
};

const sky = new Float64Array(WIDTH * HEIGHT * 3);
const add = (x, y, rgb, k) => {
  if (x < 0 || y < 0 || x >= WIDTH || y >= HEIGHT) return;
  const i = (y * WIDTH + x) * 3;
  for (let c = 0; c < 3; c++) sky[i + c] += rgb[c] * k;
};
// Blue-white, white, yellowish and reddish stars, the white ones most common.
const TINTS = [[0.80, 0.87, 1.00], [1, 1, 1], [1, 1, 1], [1, 1, 1], [1.00, 0.93, 0.78],
               [1.00, 0.80, 0.70]];
for (let s = 0; s < STARS; s++) {
  const x = Math.floor(random() * WIDTH), y = Math.floor(random() * HEIGHT);
  // Most stars are faint; a power law gives a few bright ones.
  const brightness = 40 + 215 * random() ** 4;
  const tint = TINTS[Math.floor(random() * TINTS.length)];
  add(x, y, tint, brightness);
  if (brightness > 150) {
    // Bright stars get a soft cross of neighbours.
    for (const [dx, dy] of [[1, 0], [-1, 0], [0, 1], [0, -1]]) add(x + dx, y + dy, tint, brightness * 0.3);
  }
}

const rowBytes = WIDTH * 3;  // 2400: already a multiple of 4
const imageBytes = rowBytes * HEIGHT;
const bmp = Buffer.alloc(54 + imageBytes);
bmp.write('BM', 0, 'latin1');
bmp.writeUInt32LE(bmp.length, 2);
bmp.writeUInt32LE(54, 10);
bmp.writeUInt32LE(40, 14);
bmp.writeInt32LE(WIDTH, 18);
bmp.writeInt32LE(HEIGHT, 22);  // positive: rows bottom-up
bmp.writeUInt16LE(1, 26);
bmp.writeUInt16LE(24, 28);
bmp.writeUInt32LE(imageBytes, 34);
bmp.writeInt32LE(2835, 38);  // 72 dpi
bmp.writeInt32LE(2835, 42);
for (let y = 0; y < HEIGHT; y++) {
  const row = 54 + (HEIGHT - 1 - y) * rowBytes;
  for (let x = 0; x < WIDTH; x++) {
    const i = (y * WIDTH + x) * 3, o = row + x * 3;
    bmp[o] = Math.min(255, Math.round(sky[i + 2]));      // blue
    bmp[o + 1] = Math.min(255, Math.round(sky[i + 1]));  // green
    bmp[o + 2] = Math.min(255, Math.round(sky[i]));      // red
  }
}
writeFileSync(out, bmp);
console.log(`${out}: ${WIDTH} x ${HEIGHT}, ${STARS} stars`);
