// Browser test: the editor's session token never leaves its port. The owner opens the printed
// address in Chromium; then, in the same browser, a page served from another port of
// 127.0.0.1 (another local user's server) tries what a hostile page can: it is sent no
// token (browsers give a host's cookies to all its ports), cannot read the editor's
// answers, storage or page, and changes nothing by simple requests, forms or frames.
//
// node token_scope_test.mjs LOOMHOST PLUGIN_DIR   (CHROMIUM overrides /usr/bin/chromium)
import assert from 'node:assert/strict';
import {mkdtempSync, rmSync} from 'node:fs';
import {createServer} from 'node:http';
import {tmpdir} from 'node:os';
import {join} from 'node:path';

import {browserOrSkip, startEditor} from './browser.mjs';

const [loomhost, plugins] = process.argv.slice(2);
if (!loomhost || !plugins) {
  console.error('usage: node token_scope_test.mjs LOOMHOST PLUGIN_DIR');
  process.exit(2);
}
const {chromium, browserPath} = await browserOrSkip();
const root = mkdtempSync(join(tmpdir(), 'loom_token_e2e_'));
const TIMEOUT = 10000;

// What the other port's page tries; it reports what it could learn to its own server.
function hostilePage(editor) {
  return `<!doctype html><meta charset="utf-8"><title>elsewhere</title>
<iframe id="framed" src="${editor}"></iframe>
<form id="form" method="POST" action="${editor}api/open" enctype="text/plain" target="sink">
<input name='{"class":"fervix","x":"' value='"}'></form><iframe name="sink"></iframe>
<script>
const editor = ${JSON.stringify(editor)};
const learned = [];
async function attempt(what, run) {
  try {
    const got = await run();
    learned.push({what, got: String(got).slice(0, 200)});
  } catch (e) {
    // refused: nothing learned
  }
}
(async () => {
  // Readable answers need the editor's consent (CORS), which it never gives.
  await attempt('state', async () => (await fetch(editor + 'api/state', {credentials: 'include'})).text());
  await attempt('page', async () => (await fetch(editor, {credentials: 'include'})).text());
  await attempt('json action', async () => (await fetch(editor + 'api/open', {
    method: 'POST', credentials: 'include',
    headers: {'Content-Type': 'application/json'}, body: '{"class":"fervix"}'})).status);
  // Blind requests go out, but their answers stay opaque.
  await fetch(editor + 'api/open', {method: 'POST', mode: 'no-cors', credentials: 'include',
      headers: {'Content-Type': 'text/plain'}, body: '{"class":"fervix"}'}).catch(() => {});
  await fetch(editor + 'api/undo', {method: 'POST', mode: 'no-cors', credentials: 'include',
      body: '{}'}).catch(() => {});
  document.getElementById('form').submit();
  const img = new Image();
  img.src = editor + 'api/viewport.bmp';
  await new Promise((r) => { img.onload = img.onerror = r; });
  if (img.naturalWidth > 0) learned.push({what: 'viewport picture', got: img.naturalWidth});
  // A window of the editor's page: its storage and text are not this page's to read.
  const w = window.open(editor, 'owner');
  await new Promise((r) => setTimeout(r, 1500));
  await attempt('opened window storage', async () => w.sessionStorage.getItem('loom-token'));
  await attempt('opened window text', async () => w.document.body.innerHTML);
  await attempt('framed text', async () => document.getElementById('framed').contentDocument.body.innerHTML);
  await fetch('/report', {method: 'POST', body: JSON.stringify(learned)});
})();
</script>`;
}

async function main() {
  const {child, url, base, token} = await startEditor(loomhost, plugins, root, ['--open', 'nimbra']);
  const api = (path, options = {}) =>
    fetch(base + 'api/' + path, {...options, headers: {'X-Loom-Token': token, ...options.headers}});
  const seen = [];  // every request the other port received: address and headers
  let report = null;
  let reported;
  const reportArrived = new Promise((resolve) => (reported = resolve));
  const other = createServer((req, res) => {
    let body = '';
    req.on('data', (d) => (body += d));
    req.on('end', () => {
      seen.push(`${req.method} ${req.url} ${JSON.stringify(req.headers)} ${body}`);
      if (req.url === '/report') {
        report = JSON.parse(body);
        reported();
        res.end();
        return;
      }
      res.setHeader('Content-Type', 'text/html');
      res.end(hostilePage(base));
    });
  });
  await new Promise((resolve) => other.listen(0, '127.0.0.1', resolve));
  const otherBase = `http://127.0.0.1:${other.address().port}/`;
  const browser = await chromium.launch({
    executablePath: browserPath,
    args: ['--no-sandbox', '--disable-gpu', '--disable-popup-blocking'],
  });
  let failed = false;
  try {
    const before = await (await api('state')).json();
    const context = await browser.newContext();
    const page = await context.newPage();
    page.setDefaultTimeout(TIMEOUT);
    // The owner opens the printed address: the page works, and keeps the token out of the
    // address bar and out of cookies.
    const opened = await page.goto(url);
    const setCookie = await opened.headerValue('set-cookie');
    await page.locator('.rollup[data-title="Nimbra Setup"]').waitFor();
    await page.waitForFunction(() => document.getElementById('viewport').naturalWidth > 0);

    // Then the same browser visits the other port, in a new tab and in the owner's own tab.
    const elsewhere = await context.newPage();
    await elsewhere.goto(otherBase);
    await Promise.race([reportArrived, new Promise((_, reject) => setTimeout(
        () => reject(new Error('the other page did not report')), TIMEOUT))]);
    await page.goto(otherBase + 'second');

    for (const request of seen) assert.ok(!request.includes(token), `sent to the other port: ${request}`);
    assert.deepEqual(report, [], 'what the other page could read');
    assert.equal(setCookie, null);
    assert.deepEqual(await context.cookies(), []);
    // The owner's tab shows the address without the token, and a reload keeps the session
    // (the token stays with the tab).
    await page.goBack();
    assert.equal(page.url(), base);
    await page.reload();
    await page.locator('.rollup[data-title="Nimbra Setup"]').waitFor();
    const after = await (await api('state')).json();
    assert.deepEqual(after.windows.map((w) => w.title), before.windows.map((w) => w.title));
    assert.deepEqual(after.undo, before.undo);
    console.log('token scope browser test passed');
  } catch (e) {
    failed = true;
    console.error(e);
  } finally {
    await browser.close();
    other.close();
    child.kill('SIGTERM');
    await new Promise((resolve) => child.on('exit', resolve));
    rmSync(root, {recursive: true, force: true});
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
