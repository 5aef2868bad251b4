// Browser test of `loomhost edit`: starts the editor on a free port, opens the page in the
// system Chromium and works it as a person would: a preset, a typed and a dragged spinner
// value, a picked colour, the sample picture, undo and redo, the map browser, time and Auto Key, a scene
// save, and the stereo filter's modal setup dialog and about box.
//
// node editor_test.mjs LOOMHOST PLUGIN_DIR   (CHROMIUM overrides /usr/bin/chromium)
import assert from 'node:assert/strict';
import {spawn} from 'node:child_process';
import {existsSync, mkdtempSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

const [loomhost, plugins] = process.argv.slice(2);
if (!loomhost || !plugins) {
  console.error('usage: node editor_test.mjs LOOMHOST PLUGIN_DIR');
  process.exit(2);
}
// Where the browser or the driver is not installed the test is skipped (exit 77), so that
// builds without them still pass; scripts/install-deps.sh installs both.
const SKIP = 77;
const browserPath = process.env.CHROMIUM || '/usr/bin/chromium';
if (!existsSync(browserPath)) {
  console.log(`skipped: no browser at ${browserPath}`);
  process.exit(SKIP);
}
let chromium;
try {
  ({chromium} = await import('playwright-core'));
} catch {
  console.log('skipped: playwright-core is not installed (npm ci in tests/e2e)');
  process.exit(SKIP);
}
const root = mkdtempSync(join(tmpdir(), 'loom_editor_e2e_'));
const TIMEOUT = 10000;

function startEditor() {
  const child = spawn(loomhost,
      ['--plugins', plugins, 'edit', '--port', '0', '--open', 'nimbra', '--root', root],
      {stdio: ['ignore', 'pipe', 'inherit']});
  return new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('the editor did not start')), TIMEOUT);
    child.stdout.on('data', (d) => {
      out += d;
      // The address carries the session token the API asks for.
      const m = out.match(/(http:\/\/127\.0\.0\.1:\d+\/)\?token=([0-9a-f]{64})/);
      if (m) {
        clearTimeout(timer);
        resolve({child, url: m[0], base: m[1], token: m[2]});
      }
    });
    child.on('exit', (code) => reject(new Error(`the editor ended early (${code})`)));
  });
}

// A checksum of the sample picture as the page shows it, once it has loaded.
async function sampleSignature(page) {
  return page.evaluate(async () => {
    const img = document.getElementById('sample');
    try {
      await img.decode();
    } catch {
      return null;  // a newer picture replaced it while it loaded
    }
    const c = document.createElement('canvas');
    c.width = img.naturalWidth;
    c.height = img.naturalHeight;
    const g = c.getContext('2d');
    g.drawImage(img, 0, 0);
    const px = g.getImageData(0, 0, c.width, c.height).data;
    let h = 0;
    for (let i = 0; i < px.length; i++) h = (h * 31 + px[i]) >>> 0;
    return `${c.width}x${c.height}:${h}`;
  });
}

async function waitForSampleChange(page, before) {
  const end = Date.now() + TIMEOUT;
  for (;;) {
    const now = await sampleSignature(page);
    if (now !== null && now !== before) return now;
    if (Date.now() > end) assert.fail('the sample picture did not change');
    await page.waitForTimeout(100);
  }
}

// The field answers at once, the picture when its new render has loaded: wait for the one
// expected rather than read whichever is showing.
async function waitForSample(page, expected) {
  const end = Date.now() + TIMEOUT;
  let now;
  for (;;) {
    now = await sampleSignature(page);
    if (now === expected) return;
    if (Date.now() > end) assert.equal(now, expected, 'the sample picture did not come back');
    await page.waitForTimeout(100);
  }
}

async function main() {
  const {child, url, base, token} = await startEditor();
  // Without the token the API answers nobody; with it, a script is answered.
  assert.equal((await fetch(base + 'api/state')).status, 401);
  assert.equal((await fetch(base + 'api/state', {headers: {'X-Loom-Token': token}})).status, 200);
  const browser = await chromium.launch({
    executablePath: browserPath,
    args: ['--no-sandbox', '--disable-gpu'],
  });
  let failed = false;
  try {
    const page = await browser.newPage();
    page.setDefaultTimeout(TIMEOUT);
    const pageErrors = [];
    page.on('pageerror', (e) => pageErrors.push(e.message));
    // The page's security policy must not block anything the page itself uses.
    page.on('console', (m) => {
      if (m.type() === 'error' && /Content.Security.Policy|Refused to/i.test(m.text())) {
        pageErrors.push(m.text());
      }
    });
    const opened = await page.goto(url);
    const cookie = (await opened.headerValue('set-cookie')) || '';
    assert.match(cookie, /^loom_token=[0-9a-f]{64}; HttpOnly; SameSite=Strict; Path=\/$/);
    assert.equal(await page.evaluate(() => document.cookie), '');  // not readable by scripts

    const panel = page.locator('.rollup[data-title="Nimbra Setup"]');
    await panel.waitFor();
    const contrastEdit = panel.locator('[data-id="1099"]');
    await assert.doesNotReject(contrastEdit.waitFor());
    assert.equal(await contrastEdit.inputValue(), '1.0');
    await page.waitForFunction(() => document.getElementById('sample').naturalWidth > 0);
    const first = await sampleSignature(page);
    assert.match(first, /^128x128:/);

    // A preset: the detail spinner's field shows its value, the sample redraws.
    await panel.getByRole('button', {name: 'Cirrus', exact: true}).click();
    await page.waitForFunction(
        () => document.querySelector('.rollup [data-id="1101"]').value === '9.0');
    const afterPreset = await waitForSampleChange(page, first);

    // A typed value is one undo entry.
    await contrastEdit.fill('2.5');
    await contrastEdit.press('Enter');
    await page.locator('#undo', {hasText: 'Undo Parameter Change'}).waitFor();
    const afterTyped = await waitForSampleChange(page, afterPreset);

    // A drag on the spinner: up raises the value; the sample follows.
    const spin = panel.locator('[data-id="1100"]');
    const box = await spin.boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    await page.mouse.down();
    for (let dy = 1; dy <= 10; dy++) {
      await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2 - dy);
    }
    await page.mouse.up();
    await page.waitForFunction(
        () => document.querySelector('.rollup [data-id="1099"]').value !== '2.5');
    const dragged = Number(await contrastEdit.inputValue());
    assert.ok(dragged > 2.5, `the drag raised the contrast (${dragged})`);
    await waitForSampleChange(page, afterTyped);

    // Undo puts the typed value back, and Redo offers the drag again.
    await page.locator('#undo').click();
    await page.waitForFunction(
        () => document.querySelector('.rollup [data-id="1099"]').value === '2.5');
    await page.locator('#redo', {hasText: 'Redo Parameter Change'}).waitFor();
    await waitForSample(page, afterTyped);

    // A colour picked for the cloud swatch: one "Color Change", the sample redraws.
    const beforeColour = await sampleSignature(page);
    // The native picker cannot be driven: its events are sent as it would send them, an
    // input per colour passed through and a change when it closes.
    await panel.locator('[data-id="1133"] input[type=color]').evaluate((input) => {
      for (const c of ['#800000', '#ff0000']) {
        input.value = c;
        input.dispatchEvent(new Event('input'));
      }
      input.dispatchEvent(new Event('change'));
    });
    await page.locator('#undo', {hasText: 'Undo Color Change'}).waitFor();
    await page.waitForFunction(() => getComputedStyle(
        document.querySelector('.rollup [data-id="1133"]')).backgroundColor === 'rgb(255, 0, 0)');
    await waitForSampleChange(page, beforeColour);

    // The map browser: the sky's map button asks, the page answers with a class.
    await panel.locator('[data-id="1136"]').click();
    const browserBox = page.locator('#map-browser');
    await browserBox.waitFor({state: 'visible'});
    await browserBox.locator('button[data-class="nimbra"]').click();
    await browserBox.waitFor({state: 'hidden'});
    await page.waitForFunction(
        () => /Nimbra/.test(document.querySelector('.rollup [data-id="1136"]').textContent));

    // Time and Auto Key.
    await page.locator('#autokey').click();
    await page.locator('#autokey[aria-pressed="true"]').waitFor();
    await page.locator('#time').evaluate((el) => {
      el.value = '10';
      el.dispatchEvent(new Event('change'));
    });
    await page.locator('#frame', {hasText: /^10$/}).waitFor();

    // A scene saved where the editor was told to keep them.
    await page.locator('#scene-path').fill('e2e.loom');
    await page.locator('#scene-save').click();
    await page.locator('#status', {hasText: 'Saved e2e.loom'}).waitFor();
    assert.ok(existsSync(join(root, 'e2e.loom')));
    // ...and offered from then on as a scene to load.
    await page.locator('#scene-files option[value="e2e.loom"]').waitFor({state: 'attached'});
    // Saving over it asks first: declined, nothing is written; accepted, it is replaced.
    for (const accept of [false, true]) {
      await page.locator('#status').evaluate((el) => (el.textContent = ''));
      let question = null;
      page.once('dialog', (dialog) => {
        question = dialog.message();
        return accept ? dialog.accept() : dialog.dismiss();
      });
      await page.locator('#scene-save').click();
      await page.locator('#status', {hasText: accept ? 'Saved e2e.loom' : 'exists'}).waitFor();
      assert.match(question, /e2e\.loom exists/);
    }
    // A refused save says why and does not claim to have saved.
    await page.locator('#scene-path').fill('/elsewhere.loom');
    await page.locator('#scene-save').click();
    await page.locator('#status.error', {hasText: 'relative'}).waitFor();

    // The modal setup dialog: its preview shows, Cancel closes it and keeps the settings.
    const settings = await page.locator('#filter-settings').textContent();
    await page.locator('#filter-setup').click();
    const duck = page.locator('.dialog[data-title="Ducktest"]');
    await duck.waitFor();
    const preview = duck.locator('[data-id="1027"] img');
    await preview.waitFor();
    await page.waitForFunction(
        () => document.querySelector('.dialog [data-id="1027"] img').naturalWidth > 0);
    await duck.locator('[data-id="1024"] input').click();  // right eye blue
    await page.waitForFunction(
        () => document.querySelector('.dialog [data-id="1024"] input').checked);
    await duck.getByRole('button', {name: 'Cancel', exact: true}).click();
    await duck.waitFor({state: 'detached'});
    assert.equal(await page.locator('#filter-settings').textContent(), settings);

    // The about box, closed with its close box.
    await page.locator('#filter-about').click();
    const about = page.locator('.dialog[data-title="About Stereo 3D Dioptrix"]');
    await about.waitFor();
    await about.locator('.close').click();
    await about.waitFor({state: 'detached'});

    assert.deepEqual(pageErrors, []);
    assert.equal(await page.locator('#status.error').count(), 0,
        await page.locator('#status').textContent());
    console.log('editor browser test passed');
  } catch (e) {
    failed = true;
    console.error(e);
  } finally {
    await browser.close();
    const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
    const stopAt = Date.now();
    child.kill('SIGTERM');
    const code = await exited;
    if (code !== 0) {
      console.error(`the editor ended with ${code} after SIGTERM`);
      failed = true;
    }
    if (Date.now() - stopAt > 2000) {
      console.error(`the editor took ${Date.now() - stopAt} ms to stop after SIGTERM`);
      failed = true;
    }
    rmSync(root, {recursive: true, force: true});
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
