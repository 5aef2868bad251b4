// Browser test of `loomhost edit`: starts the editor on a free port, opens the page in the
// system Chromium and works it as a person would: a preset, a typed and a dragged spinner
// value, a picked colour, the sample picture, undo and redo, the map browser, time and Auto Key, a scene
// save, and the stereo filter's modal setup dialog and about box. Also: the viewport bitmap
// after sliders and undo, quick spinner clicks against late answers, typing across redraws,
// panel text and refused values, nested maps and the map browser by keyboard, Ctrl+Z/Y,
// the status line after a lost connection, and dialogs that leave the scroll alone.
//
// node editor_test.mjs LOOMHOST PLUGIN_DIR   (CHROMIUM overrides /usr/bin/chromium)
import assert from 'node:assert/strict';
import {copyFileSync, existsSync, mkdtempSync, rmSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {dirname, join} from 'node:path';
import {fileURLToPath} from 'node:url';

import {browserOrSkip, startEditor} from './browser.mjs';

const [loomhost, plugins] = process.argv.slice(2);
if (!loomhost || !plugins) {
  console.error('usage: node editor_test.mjs LOOMHOST PLUGIN_DIR');
  process.exit(2);
}
const {chromium, browserPath} = await browserOrSkip();
const root = mkdtempSync(join(tmpdir(), 'loom_editor_e2e_'));
const TIMEOUT = 10000;

// A checksum of the sample picture as the page shows it, once it has loaded.
async function sampleSignature(page) {
  return pictureSignature(page, 'sample');
}

// The same for any picture of the page (the sample, the viewport bitmap). The sample's
// coarse first pass does not count: null until the full picture shows.
async function pictureSignature(page, id) {
  return page.evaluate(async (id) => {
    const img = document.getElementById(id);
    if (id === 'sample' && img.dataset.final !== 'true') return null;
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
  }, id);
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

// Waits until picture `id` shows something other than `before` (or, with `same`, shows
// `before` again); answers what it shows.
async function waitForPicture(page, id, before, same = false) {
  const end = Date.now() + TIMEOUT;
  for (;;) {
    const now = await pictureSignature(page, id);
    if (now !== null && (same ? now === before : now !== before)) return now;
    if (Date.now() > end) {
      assert.fail(`the ${id} picture did not ${same ? 'come back' : 'change'}`);
    }
    await page.waitForTimeout(100);
  }
}

// Records, each time the sample picture changes, whether its attributes then call it the
// full picture, and the size of the picture it then shows: the attributes must change with
// the picture, never after it (a test, or a user's script, would take a coarse picture
// for the full one).
async function watchSampleAttributes(page) {
  await page.evaluate(() => {
    window.sampleChanges = [];
    const img = document.getElementById('sample');
    new MutationObserver(() => {
      const picture = new Image();
      picture.src = img.src;
      const final = img.dataset.final;
      window.sampleChanges.push(picture.decode().then(
          () => ({final, width: picture.naturalWidth}), () => null));
    }).observe(img, {attributeFilter: ['src']});
  });
}

async function checkSampleAttributes(page) {
  const changes = (await page.evaluate(() => Promise.all(window.sampleChanges)))
                      .filter((c) => c !== null);
  assert.ok(changes.length >= 6, `the sample changed ${changes.length} times`);
  for (const {final, width} of changes) {
    assert.equal(width === 128, final === 'true', `a ${width}-wide picture marked final=${final}`);
  }
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// The editor's state as the page's own API module fetches it, without the page drawing it.
function editorState(page) {
  return page.evaluate(async () => (await import('/api.js')).getState());
}

// An action sent behind the page's back, as another window would: the page learns of it
// only from its poll.
function postBehindThePage(page, path, body) {
  return page.evaluate(async ([path, body]) => {
    await (await import('/api.js')).post(path, body);
  }, [path, body]);
}

function control(state, title, id) {
  const w = state.windows.find((w) => w.title === title);
  return w && w.tree.children.find((c) => c.id === id);
}

// The viewport bitmap follows a slider (which asks for no redraw), a typed value, and the
// undo and redo of that value.
async function checkViewportFollowsEveryChange(page, panel) {
  const start = await waitForPicture(page, 'viewport', null);
  await panel.locator('[data-id="1153"]').evaluate((slider) => {
    slider.value = String(Number(slider.value) + 30);
    slider.dispatchEvent(new Event('input'));
    slider.dispatchEvent(new Event('change'));
  });
  const slid = await waitForPicture(page, 'viewport', start);
  const contrast = panel.locator('[data-id="1099"]');
  await contrast.fill('4.0');
  await contrast.press('Enter');
  const typed = await waitForPicture(page, 'viewport', slid);
  await page.locator('#undo').click();
  await waitForPicture(page, 'viewport', slid, true);
  await page.locator('#redo').click();
  await waitForPicture(page, 'viewport', typed, true);
}

// Ten clicks on a spinner's arrow 30 ms apart move it ten steps, also when each answer
// comes later than the next click (the editor's answers are held back here).
async function checkQuickSpinnerClicks(page, panel) {
  const spin = control(await editorState(page), 'Nimbra Setup', 1102).spinner;  // Detail
  const start = spin.value;
  assert.ok(start + 10 * spin.scale <= spin.max, 'ten steps fit below the maximum');
  const late = async (route) => {
    const response = await route.fetch();
    await sleep(150);
    await route.fulfill({response});
  };
  await page.route('**/api/spinner', late);
  const box = await panel.locator('[data-id="1102"] .up').boundingBox();
  for (let i = 0; i < 10; i++) {
    await page.mouse.click(box.x + box.width / 2, box.y + box.height / 2);
    await page.waitForTimeout(30);
  }
  const want = (start + 10 * spin.scale).toFixed(1);
  await page.waitForFunction((want) =>
    document.querySelector('.rollup [data-id="1101"]').value === want, want);
  await page.unroute('**/api/spinner', late);
  const state = await editorState(page);
  assert.equal(control(state, 'Nimbra Setup', 1101).text, want);
  assert.equal(await page.locator('#status.error').count(), 0);
}

// A field being typed in keeps the focus, its text and its caret when the panel is drawn
// again under it, and the half-typed text is not sent until Enter.
async function checkTypingSurvivesRedraws(page, panel) {
  const field = panel.locator('[data-id="1105"]');  // Softening, 0..1
  const before = await field.inputValue();
  await field.click();
  await page.keyboard.press('Control+A');
  await page.keyboard.type('0.75');
  await page.keyboard.press('ArrowLeft');  // caret between 7 and 5
  // A change made elsewhere redraws the panel: the Martian palette turns the cloud purple.
  const hwnd = Number(await panel.getAttribute('data-hwnd'));
  await postBehindThePage(page, 'click', {hwnd, id: 1169});
  await page.waitForFunction(() => getComputedStyle(
      document.querySelector('.rollup [data-id="1133"]')).backgroundColor === 'rgb(204, 0, 229)');
  const focus = await page.evaluate(() => {
    const el = document.activeElement;
    return {id: el.dataset.id, value: el.value, start: el.selectionStart, end: el.selectionEnd,
      connected: el.isConnected};
  });
  assert.deepEqual(focus, {id: '1105', value: '0.75', start: 3, end: 3, connected: true});
  assert.equal(control(await editorState(page), 'Nimbra Setup', 1105).text, before,
      'the half-typed value was not sent');
  // Typing goes on where it was; Enter sends the whole value.
  await page.keyboard.type('0');
  await page.keyboard.press('Enter');
  await page.waitForFunction(async () =>
    (await (await import('/api.js')).getState()).windows.some((w) => w.tree.children.some(
        (c) => c.id === 1105 && c.text === '0.7')));  // 0.705 shown with one decimal
}

// Opening a dialog leaves the page where it was scrolled to.
async function checkDialogKeepsTheScroll(page, open, dialog) {
  await page.evaluate(() => window.scrollTo(0, 0));
  assert.ok(await page.evaluate(() => document.documentElement.scrollHeight > innerHeight),
      'the page can scroll');
  await open();
  await dialog.waitFor();
  assert.equal(await page.evaluate(() => window.scrollY), 0, 'the page scrolled');
}

// "The editor does not answer" goes away once it answers again.
async function checkStatusClearsWhenTheEditorAnswers(page) {
  const refuse = (route) => route.abort();
  await page.route('**/api/state', refuse);
  await page.locator('#status.error', {hasText: 'does not answer'}).waitFor();
  await page.unroute('**/api/state', refuse);
  await page.waitForFunction(() => document.getElementById('status').textContent === '');
  assert.equal(await page.locator('#status.error').count(), 0);
}

// The map browser by keyboard: focus on its first choice, arrows to move, Enter to take,
// Escape to close.
async function chooseMapByKeyboard(page, cls) {
  const browserBox = page.locator('#map-browser');
  await browserBox.waitFor({state: 'visible'});
  await page.waitForFunction(() => document.activeElement &&
      document.activeElement === document.querySelector('#map-classes button'));
  for (let i = 0; i < 10; i++) {
    if (await page.evaluate(() => document.activeElement.dataset.class) === cls) break;
    await page.keyboard.press('ArrowDown');
  }
  assert.equal(await page.evaluate(() => document.activeElement.dataset.class), cls);
  await page.keyboard.press('Enter');
  await browserBox.waitFor({state: 'hidden'});
}

// Nested maps: the button of an assigned slot opens the map's own panel; the trail above
// the panels leads back up; a map is replaced from its own panel.
async function checkSubMaps(page) {
  const top = page.locator('.rollup[data-title="Nimbra Setup"]');
  const trail = page.locator('#map-path');
  await top.locator('[data-id="1136"]').click();  // Sky holds a Nimbra: its panel opens
  await trail.locator('#map-crumbs', {hasText: 'Sky:'}).waitFor();
  assert.equal(await page.locator('#map-browser').isVisible(), false);
  // Replace it with a Fervix, chosen by keyboard.
  await page.locator('#map-replace').click();
  await chooseMapByKeyboard(page, 'fervix');
  await trail.waitFor({state: 'hidden'});
  await page.waitForFunction(() => /Fervix/.test(
      document.querySelector('.rollup [data-id="1136"]').textContent));
  // Into the Fervix, then a Lumidot inside it: three levels.
  await top.locator('[data-id="1136"]').click();
  const fervix = page.locator('.rollup[data-title="Fervix 2.0 Setup"]');
  await fervix.waitFor();
  await fervix.locator('[data-id="1135"]').click();  // empty: the browser asks
  await page.locator('#map-browser').waitFor({state: 'visible'});
  await page.keyboard.press('Escape');
  await page.locator('#map-browser').waitFor({state: 'hidden'});
  assert.equal((await editorState(page)).mapBrowser, null);
  await fervix.locator('[data-id="1135"]').click();
  await chooseMapByKeyboard(page, 'lumidot');
  await fervix.locator('[data-id="1135"]', {hasText: 'Lumidot'}).waitFor();
  await fervix.locator('[data-id="1135"]').click();
  const lumidot = page.locator('.rollup[data-title="Lumidot 2.0 Setup"]');
  await lumidot.waitFor();
  assert.equal(await page.locator('#map-crumbs button').count(), 2);
  // An edit down there stays with that map.
  await lumidot.getByRole('button', {name: 'Tartan', exact: true}).click();
  const tartan = await lumidot.locator('[data-id="1099"]').inputValue();
  await page.locator('#map-parent').click();
  await fervix.waitFor();
  await fervix.locator('[data-id="1135"]').click();
  await lumidot.waitFor();
  assert.equal(await lumidot.locator('[data-id="1099"]').inputValue(), tartan);
  // The first step of the trail goes back to the top.
  await page.locator('#map-crumbs button[data-depth="0"]').click();
  await top.waitFor();
  await trail.waitFor({state: 'hidden'});
}

// Ctrl+Z undoes and Ctrl+Y or Ctrl+Shift+Z redo, except in a field being typed in.
async function checkUndoKeys(page, panel) {
  const contrast = panel.locator('[data-id="1099"]');
  await contrast.fill('3.0');
  await contrast.press('Enter');
  await page.locator('#undo', {hasText: 'Undo Parameter Change'}).waitFor();
  await page.waitForFunction(() =>
    document.querySelector('.rollup [data-id="1099"]').value === '3.0');
  const counts = async () => {
    const s = await editorState(page);
    return [s.undo.count, s.redo.count];
  };
  const [undos] = await counts();
  // In a field, Ctrl+Z is the field's own.
  await contrast.focus();
  await page.keyboard.press('Control+z');
  await page.waitForTimeout(300);
  assert.deepEqual(await counts(), [undos, 0]);
  await page.evaluate(() => document.activeElement.blur());
  for (const [key, want] of [['Control+z', [undos - 1, 1]], ['Control+y', [undos, 0]],
    ['Control+z', [undos - 1, 1]], ['Control+Shift+Z', [undos, 0]]]) {
    await page.keyboard.press(key);
    const end = Date.now() + TIMEOUT;
    while (JSON.stringify(await counts()) !== JSON.stringify(want)) {
      if (Date.now() > end) assert.fail(`${key} did not leave ${want}`);
      await page.waitForTimeout(50);
    }
  }
  await page.waitForFunction(() =>
    document.querySelector('.rollup [data-id="1099"]').value === '3.0');
}

// Panel text: the metric-compatible font is used, labels fit their controls, centred
// group boxes centre their titles, and a value outside a spinner's limits is refused with
// the range.
async function checkPanelText(page, panel) {
  // A redraw can replace the panel's client between finding it and reading its style, which
  // then reads as empty: read again until a client in the page answers.
  let family = '';
  for (const end = Date.now() + TIMEOUT; family === '' && Date.now() < end;) {
    family = await panel.locator('.client').evaluate(
        (el) => (el.isConnected ? getComputedStyle(el).fontFamily : ''));
    if (family === '') await page.waitForTimeout(50);
  }
  assert.match(family, /^"?Liberation Sans"?,/);
  assert.ok(await page.evaluate(async () => {
    await document.fonts.ready;
    return document.fonts.check('10px "Liberation Sans"');
  }), 'Liberation Sans is installed');
  const clipped = await panel.locator('.client').evaluate((client) => {
    const out = [];
    for (const el of client.querySelectorAll('.control')) {
      const text = el.tagName === 'FIELDSET' ? el.querySelector('legend') : el;
      if (!text.textContent.trim() || el.tagName === 'INPUT') continue;
      const box = el.getBoundingClientRect();
      const range = document.createRange();
      range.selectNodeContents(text);
      const used = range.getBoundingClientRect();
      if (used.right > box.right + 1 || used.left < box.left - 1) out.push(text.textContent);
    }
    return out;
  });
  assert.deepEqual(clipped, [], 'text wider than its control');
  const place = (id) => panel.locator(`[data-id="${id}"]`).evaluate((box) => {
    const b = box.getBoundingClientRect();
    const l = box.querySelector('legend').getBoundingClientRect();
    return {left: l.left - b.left, right: b.right - l.right};
  });
  const centred = await place(1143);  // Cloud Appearance: BS_CENTER
  assert.ok(Math.abs(centred.left - centred.right) <= 2, JSON.stringify(centred));
  const left = await place(1142);  // Texture Settings: plain
  assert.ok(left.left < 15 && left.right > 50, JSON.stringify(left));

  const contrast = panel.locator('[data-id="1099"]');
  const before = await contrast.inputValue();
  await contrast.fill('99');
  await contrast.press('Enter');
  await page.locator('#status.error', {hasText: 'the allowed range is 0 to 6'}).waitFor();
  assert.equal(await contrast.inputValue(), before);
  // The next answer clears the message.
  await contrast.fill('2.0');
  await contrast.press('Enter');
  await page.waitForFunction(() => document.getElementById('status').textContent === '');
}

// A panel's layout as drawn: no label's text runs into another's, and
// each rule (a picture far wider than tall) spans the group boxes' width, meeting their
// edges.
async function checkPanelLayout(panel, name) {
  const found = await panel.locator('.client').evaluate((client) => {
    const texts = [];
    for (const el of client.querySelectorAll('.control')) {
      if (el.tagName === 'INPUT' || el.tagName === 'FIELDSET') continue;
      if (el.classList.contains('spinner') || !el.textContent.trim()) continue;
      const range = document.createRange();
      range.selectNodeContents(el);
      const r = range.getBoundingClientRect();
      texts.push({text: el.textContent.trim(), left: r.left, right: r.right, top: r.top,
                  bottom: r.bottom});
    }
    const overlaps = [];
    for (let i = 0; i < texts.length; i++) {
      for (let j = i + 1; j < texts.length; j++) {
        const a = texts[i], b = texts[j];
        // Side by side on one line, texts need at least a space's width between them.
        if (a.left < b.right + 4 && b.left < a.right + 4 && a.top < b.bottom - 1 &&
            b.top < a.bottom - 1) {
          overlaps.push(`${a.text} / ${b.text}`);
        }
      }
    }
    const boxes = [...client.querySelectorAll('fieldset.control')].map(
        (f) => f.getBoundingClientRect());
    const rules = [...client.querySelectorAll('.c-Static img')]
                      .map((i) => i.getBoundingClientRect())
                      .filter((r) => r.width > 20 * r.height && r.height > 0)
                      .map((r) => ({left: r.left, right: r.right}));
    const boxLeft = Math.min(...boxes.map((b) => b.left));
    const boxRight = Math.max(...boxes.map((b) => b.right));
    return {overlaps, rules, boxLeft, boxRight};
  });
  assert.deepEqual(found.overlaps, [], `${name}: texts running into each other`);
  assert.ok(found.rules.length > 0, `${name}: no rule drawn`);
  for (const rule of found.rules) {
    assert.ok(Math.abs(rule.left - found.boxLeft) <= 1 && Math.abs(rule.right - found.boxRight) <= 1,
              `${name}: a rule from ${rule.left} to ${rule.right}, the group boxes from ${
                  found.boxLeft} to ${found.boxRight}`);
  }
}

async function main() {
  const {child, url, base, token} = await startEditor(loomhost, plugins, root, ['--open', 'nimbra']);
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
    // Nothing the page asks for is missing (a browser asks for /favicon.ico by itself).
    const missing = [];
    page.on('response', (r) => { if (r.status() === 404) missing.push(r.url()); });
    await page.goto(url);

    const panel = page.locator('.rollup[data-title="Nimbra Setup"]');
    await panel.waitFor();
    const contrastEdit = panel.locator('[data-id="1099"]');
    await assert.doesNotReject(contrastEdit.waitFor());
    assert.equal(await contrastEdit.inputValue(), '1.0');
    await page.waitForFunction(() => document.getElementById('sample').naturalWidth > 0);
    await watchSampleAttributes(page);
    assert.deepEqual(missing, []);
    // Sliders take the dialogs' grey, not the browser's accent colour.
    const accents = await page.evaluate(() => [...document.querySelectorAll('input[type=range]')]
        .map((e) => getComputedStyle(e).accentColor));
    assert.ok(accents.every((a) => a === 'rgb(128, 128, 128)'), accents.join());
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
    await checkSampleAttributes(page);

    await checkViewportFollowsEveryChange(page, panel);
    await checkQuickSpinnerClicks(page, panel);
    await checkTypingSurvivesRedraws(page, panel);
    await checkPanelText(page, panel);
    await checkPanelLayout(panel, 'nimbra');

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
    await checkSubMaps(page);
    await checkUndoKeys(page, panel);
    await checkStatusClearsWhenTheEditorAnswers(page);

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
    const duck = page.locator('.dialog[data-title="Ducktest"]');
    await checkDialogKeepsTheScroll(page, () => page.locator('#filter-setup').click(), duck);
    const preview = duck.locator('[data-id="1027"] img');
    await preview.waitFor();
    await page.waitForFunction(
        () => document.querySelector('.dialog [data-id="1027"] img').naturalWidth > 0);
    // The modal dialog's shade covers the page: nothing of the panels shows above it.
    const through = await page.evaluate(() => {
      const shade = document.getElementById('dialogs');
      const out = [];
      for (let x = 1; x < innerWidth; x += 8) {
        for (let y = 1; y < innerHeight; y += 8) {
          const hit = document.elementFromPoint(x, y);
          if (hit && !shade.contains(hit)) out.push(`${hit.className} at ${x},${y}`);
        }
      }
      return out.slice(0, 5);
    });
    assert.deepEqual(through, [], 'the panels show through the setup dialog');
    // Each compensation field has its label just above it.
    const unlabelled = await duck.locator('.client').evaluate((client) => {
      const labels = [...client.querySelectorAll('.c-Static')]
                         .filter((s) => s.textContent.trim() === 'Compensation')
                         .map((s) => s.getBoundingClientRect());
      return [...client.querySelectorAll('input.c-CustEdit')].filter((edit) => {
        const e = edit.getBoundingClientRect();
        return !labels.some((l) => l.bottom <= e.top + 1 && l.bottom >= e.top - 8 &&
                                   l.left < e.right && e.left < l.right);
      }).length;
    });
    assert.equal(unlabelled, 0, 'compensation fields without their label');
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

    // The New list offers the open texture's class; Voltrane's panel, opened from it, is
    // laid out as Nimbra's is.
    assert.equal(await page.locator('#new-class').inputValue(), 'nimbra');
    await page.selectOption('#new-class', 'voltrane');
    await page.locator('#new-texture').click();
    await page.waitForFunction(() => document.getElementById('entries').value.startsWith('voltrane'));
    assert.equal(await page.locator('#new-class').inputValue(), 'voltrane');
    const voltrane = page.locator('.rollup[data-title="Voltrane 2 Setup"]');
    await voltrane.locator('[data-id="1006"]').waitFor();  // Apply WaveForms...
    await checkPanelLayout(voltrane, 'voltrane');

    // A scene of an older version loads with the note that it was converted.
    copyFileSync(join(dirname(fileURLToPath(import.meta.url)), '../data/scenes/nimbra_v11.loom'),
        join(root, 'old.loom'));
    await page.locator('#scene-path').fill('old.loom');
    await page.locator('#scene-load').click();
    await page.locator('#status', {hasText: 'old.loom: note: held data of an older version; converted'})
        .waitFor();

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
