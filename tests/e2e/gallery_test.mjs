// Browser test of the gallery page the demo writes: opens OUT/index.html from the file
// system (no server) in the system Chromium and checks that every picture it shows loads,
// that each texture, the stereo filter and the calibration picture have their section, that
// every figure carries the command line that made it, and that the animations are strips.
//
// node gallery_test.mjs PAGE   (CHROMIUM overrides /usr/bin/chromium)
import assert from 'node:assert/strict';
import {existsSync} from 'node:fs';
import {resolve} from 'node:path';
import {pathToFileURL} from 'node:url';

import {browserOrSkip} from './browser.mjs';

const [page] = process.argv.slice(2);
if (!page) {
  console.error('usage: node gallery_test.mjs OUT/index.html');
  process.exit(2);
}
const {chromium, browserPath} = await browserOrSkip();
assert.ok(existsSync(page), `${page} was not written`);

const browser = await chromium.launch({executablePath: browserPath, args: ['--no-sandbox']});
try {
  const tab = await browser.newPage();
  const failed = [];
  tab.on('requestfailed', (request) => failed.push(request.url()));
  await tab.goto(pathToFileURL(resolve(page)).href, {waitUntil: 'load'});
  // Lazy pictures load when scrolled to; make them all load now.
  await tab.evaluate(() => document.querySelectorAll('img').forEach((i) => (i.loading = 'eager')));
  await tab.waitForFunction(() => [...document.images].every((i) => i.complete), null,
                            {timeout: 60000});
  const report = await tab.evaluate(() => ({
    images: document.images.length,
    broken: [...document.images].filter((i) => i.naturalWidth === 0).map((i) => i.src),
    sections: [...document.querySelectorAll('h2')].map((h) => h.id),
    figures: document.querySelectorAll('figure').length,
    uncommented: [...document.querySelectorAll('figure')]
                     .filter((f) => !/^(loomhost \w|env \S+=.* (gegl|ffmpeg|melt) )/.test(
                         f.querySelector('code')?.textContent ?? ''))
                     .map((f) => f.id),
    strips: [...document.querySelectorAll('.strip')].map((s) => s.querySelectorAll('img').length),
    anaglyphRows: [...document.querySelectorAll('figure')]
                      .filter((f) => /anaglyph/.test(f.textContent) &&
                                     f.querySelectorAll('.view img').length >= 2).length,
    calibration: !!document.querySelector('figure[id="dioptrix_calibration"] img'),
  }));
  assert.deepEqual(failed, [], 'requests failed');
  assert.deepEqual(report.broken, [], 'pictures that did not load');
  assert.ok(report.images > 50, `only ${report.images} pictures`);
  for (const section of ['voltrane', 'fervix', 'lumidot', 'nimbra', 'dioptrix']) {
    assert.ok(report.sections.includes(section), `no ${section} section: ${report.sections}`);
  }
  assert.deepEqual(report.uncommented, [], 'figures without their command line');
  assert.ok(report.strips.length >= 2 && report.strips.every((n) => n >= 2),
            `animations not shown as strips: ${report.strips}`);
  assert.ok(report.anaglyphRows >= 2, 'anaglyphs not beside their views');
  assert.ok(report.calibration, 'no calibration picture');
  console.log(`gallery: ${report.figures} figures, ${report.images} pictures, all loaded`);
} finally {
  await browser.close();
}
