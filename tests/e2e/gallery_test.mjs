// Browser test of the gallery page the demo writes: opens OUT/index.html from the file
// system (no server) in the system Chromium and checks that every picture it shows loads,
// that each texture, the stereo filter and the calibration picture have their section, that
// every figure carries the command line that made it (relative to the project), and that
// the animations are strips. Then, as a reader sees it in a 1440-pixel window: the best
// pictures first under a short navigation, the window's width used, readable captions, the
// methods sheet labelled, the videos with posters, a calibration picture large enough to
// use, the alignment's diagnostic sheet, and a page a few screens tall. A full-page
// screenshot, taken after scrolling to the end, is written beside the page (gallery.png).
//
// node gallery_test.mjs PAGE   (CHROMIUM overrides /usr/bin/chromium)
import assert from 'node:assert/strict';
import {existsSync} from 'node:fs';
import {dirname, join, resolve} from 'node:path';
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
  const tab = await browser.newPage({viewport: {width: 1440, height: 900}});
  const failed = [];
  tab.on('requestfailed', (request) => failed.push(request.url()));
  await tab.goto(pathToFileURL(resolve(page)).href, {waitUntil: 'load'});
  // Nothing waits for a scroll to load: every picture is there once the page has loaded.
  const lazy = await tab.evaluate(() => [...document.images].filter((i) => i.loading === 'lazy')
                                            .map((i) => i.getAttribute('src')));
  assert.deepEqual(lazy, [], 'pictures that load only when scrolled to');
  await tab.waitForFunction(() => [...document.images].every((i) => i.complete), null,
                            {timeout: 60000});
  const report = await tab.evaluate(() => ({
    images: document.images.length,
    broken: [...document.images].filter((i) => i.naturalWidth === 0).map((i) => i.src),
    sections: [...document.querySelectorAll('h2')].map((h) => h.id),
    figures: document.querySelectorAll('figure').length,
    uncommented: [...document.querySelectorAll('figure')]
                     .filter((f) => !/^(loomhost \w|env \S+=[\s\S]* (gegl|ffmpeg|melt) )/.test(
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

  // As a reader sees it.
  const look = await tab.evaluate(() => {
    const px = (el, p) => parseFloat(getComputedStyle(el)[p]);
    const first = document.querySelector('main section');
    const sheet = document.querySelector('figure[id="anaglyph_methods"]');
    const calibration = document.querySelector('figure[id="dioptrix_calibration"] img');
    const grid = document.querySelector('.grid');
    return {
      height: document.documentElement.scrollHeight,
      navLinks: document.querySelectorAll('header nav a').length,
      firstSection: first?.id,
      firstScreenPictures: [...document.images].filter((i) => {
        const r = i.getBoundingClientRect();
        return r.top < innerHeight && r.width >= 200;
      }).length,
      gridWidth: grid.getBoundingClientRect().width,
      captionSizes: [...document.querySelectorAll('figcaption .title, details code')]
                        .map((e) => px(e, 'fontSize')),
      brokenWords: [...document.querySelectorAll('details code')]
                       .filter((c) => getComputedStyle(c).wordBreak === 'break-all').length,
      absolute: [...document.querySelectorAll('figure code')]
                    .filter((c) => /(^|[\s=:'"])\/(?!usr\/|dev\/)\w/.test(c.textContent))
                    .map((c) => c.closest('figure').id),
      sheetLabels: sheet ? [...sheet.querySelectorAll('.labelled span')].map((s) => s.textContent)
                         : [],
      posters: [...document.querySelectorAll('video')].map((v) => v.getAttribute('poster')),
      calibrationWidth: calibration ? [calibration.naturalWidth,
                                       calibration.getBoundingClientRect().width] : [0, 0],
      diagnostic: !!document.querySelector('figure[id$="_diagnostic"] img'),
    };
  });
  assert.equal(look.firstSection, 'highlights', 'the page does not open with its best pictures');
  assert.ok(look.firstScreenPictures >= 4,
            `only ${look.firstScreenPictures} large pictures on the first screen`);
  assert.ok(look.navLinks >= 5 && look.navLinks <= 10, `${look.navLinks} navigation links`);
  assert.ok(look.gridWidth >= 1300, `the pictures use ${look.gridWidth} of 1440 pixels`);
  assert.ok(Math.min(...look.captionSizes) >= 12, `captions as small as ${
                Math.min(...look.captionSizes)} pixels`);
  assert.equal(look.brokenWords, 0, 'command lines broken mid-word');
  assert.deepEqual(look.absolute, [], 'commands with absolute paths');
  assert.equal(look.sheetLabels.length, 4, `the methods sheet's labels: ${look.sheetLabels}`);
  assert.ok(look.posters.length >= 1 && look.posters.every((p) => p),
            `videos without a poster: ${look.posters}`);
  assert.ok(look.calibrationWidth[0] >= 384 && look.calibrationWidth[1] >= 300,
            `calibration picture ${look.calibrationWidth}`);
  assert.ok(look.diagnostic, 'no alignment diagnostic sheet');
  assert.ok(look.height <= 8000, `the page is ${look.height} pixels tall`);

  // The whole page as it shows after a reader has scrolled through it.
  await tab.evaluate(async () => {
    for (let y = 0; y < document.documentElement.scrollHeight; y += innerHeight) {
      scrollTo(0, y);
      await new Promise((r) => requestAnimationFrame(r));
    }
    scrollTo(0, 0);
  });
  await tab.waitForFunction(() => [...document.images].every((i) => i.complete && i.naturalWidth));
  const shot = join(dirname(resolve(page)), 'gallery.png');
  await tab.screenshot({path: shot, fullPage: true});
  console.log(`gallery: ${report.figures} figures, ${report.images} pictures, all loaded; ` +
              `${look.height} pixels tall (screenshot ${shot})`);
} finally {
  await browser.close();
}
