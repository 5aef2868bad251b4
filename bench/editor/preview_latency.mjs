// How long the editor takes from a change to the new sample on screen, per texture at its
// defaults: a value typed into the coordinates' first field and Enter, in the system
// Chromium, timed in the page from the key to the sample picture decoded and shown: the
// first (coarse) picture and the full one, each once it has decoded. Medians over --runs changes per texture.
// Not a test: the figures depend on the machine and its load.
//
//   node bench/editor/preview_latency.mjs LOOMHOST PLUGIN_DIR [--runs 30] [--scale 2]
//
// --scale is the screen's pixel density (2: a high-density screen and a 256-pixel sample).
// playwright-core comes from tests/e2e (npm ci there); CHROMIUM overrides the browser.
import {mkdtempSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

import {browserOrSkip, startEditor} from '../../tests/e2e/browser.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
  const i = args.indexOf(name);
  return i >= 0 ? Number(args[i + 1]) : fallback;
};
const [loomhost, plugins] = args.filter((a, i) => !a.startsWith('--') &&
                                                  !(i > 0 && args[i - 1].startsWith('--')));
if (!loomhost || !plugins || args.includes('--help')) {
  console.log('usage: node preview_latency.mjs LOOMHOST PLUGIN_DIR [--runs N] [--scale S]');
  process.exit(loomhost && plugins ? 0 : 2);
}
const RUNS = option('--runs', 30);
const SCALE = option('--scale', 2);

const {chromium, browserPath} = await browserOrSkip();
const root = mkdtempSync(join(tmpdir(), 'loom_preview_latency_'));

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s.length % 2 ? s[(s.length - 1) / 2] : (s[s.length / 2 - 1] + s[s.length / 2]) / 2;
};

// In the page: from the Enter key to the sample showing a newer change, first and full.
function instrument() {
  const img = document.getElementById('sample');
  window.latencies = [];
  window.pending = null;
  document.addEventListener('keydown', (e) => {
    if (e.key !== 'Enter') return;
    window.pending = {t0: performance.now(), from: Number(img.dataset.version || 0),
                      first: null};
  }, true);
  // A picture counts once it has decoded (its size and pixels are known then): the page
  // swaps the attributes first, and the decode can take as long as the drawing.
  new MutationObserver(async () => {
    const p = window.pending;
    if (!p || Number(img.dataset.version) <= p.from) return;
    const final = img.dataset.final === 'true';
    const src = img.src;
    try {
      await img.decode();
    } catch {
      return;  // replaced by a newer picture while it decoded: that one counts
    }
    if (window.pending !== p || img.src !== src) return;
    const t = performance.now() - p.t0;
    if (p.first === null) p.first = t;
    if (final) {
      window.latencies.push({first: p.first, full: t, size: img.naturalWidth});
      window.pending = null;
    }
  }).observe(img, {attributes: true});
}

const {child, url} = await startEditor(loomhost, plugins, root, []);
const browser = await chromium.launch({executablePath: browserPath});
const results = [];
try {
  const page = await browser.newPage({deviceScaleFactor: SCALE});
  await page.goto(url);
  await page.evaluate(instrument);
  // Every texture class the editor offers.
  await page.waitForFunction(() => document.querySelectorAll('#new-class option').length > 0);
  const textures = await page.$$eval('#new-class option', (options) => options.map((o) => o.value));
  for (const name of textures) {
    await page.selectOption('#new-class', name);
    await page.click('#new-texture');
    await page.waitForFunction((n) => document.getElementById('entries').value.startsWith(n),
                               name);
    await page.waitForFunction(() => document.getElementById('sample').dataset.final === 'true');
    const field = page.locator('.rollup').first().locator('input.c-CustEdit').first();
    const start = await page.evaluate(() => window.latencies.length);
    for (let i = 0; i < RUNS; i++) {
      await field.fill(i % 2 ? '0.0' : '0.1');
      await field.press('Enter');
      await page.waitForFunction((n) => window.latencies.length > n, start + i,
                                 {timeout: 20000});
      await page.waitForTimeout(50);  // let the answer's redraw settle before the next
    }
    const runs = await page.evaluate((n) => window.latencies.slice(n), start);
    if (runs.some((r) => r.size === 0)) throw new Error(`${name}: a sample picture did not load`);
    results.push({
      texture: name,
      size: runs[runs.length - 1].size,
      first: median(runs.map((r) => r.first)),
      full: median(runs.map((r) => r.full)),
      worst: Math.max(...runs.map((r) => r.full)),
    });
  }
} finally {
  await browser.close();
  child.kill('SIGTERM');
  rmSync(root, {recursive: true, force: true});
}
console.log(`pixel density ${SCALE}, ${RUNS} changes per texture, median ms from Enter`);
console.log('texture   sample  first  full   worst');
for (const r of results) {
  console.log(`${r.texture.padEnd(9)} ${String(r.size).padStart(6)} ${r.first.toFixed(1).padStart(6)}` +
              ` ${r.full.toFixed(1).padStart(6)} ${r.worst.toFixed(1).padStart(6)}`);
}
