// The editor page: draws the state the host answers (panels, dialogs, sample, time, undo,
// map browser, video post) and sends what a person does as actions. Each action answers
// the new state; a poll catches what changes by itself (a modal dialog opening, a redraw).
import {getFiles, getState, post} from './api.js';
import * as panels from './panels.js';

const $ = (id) => document.getElementById(id);
const POLL_MS = 500;

let state = null;
let busy = 0;
const drawn = new Map();  // hwnd -> {json, element}

function status(text, error = false) {
  const el = $('status');
  el.textContent = text;
  el.classList.toggle('error', error);
}

// Answers whether the action was taken; a refusal shows in the status line and is kept.
let refusal = null;
async function run(path, body) {
  busy++;
  try {
    show(await post(path, body));
    status('');
    return true;
  } catch (e) {
    refusal = e;
    status(e.message, true);
    return false;
  } finally {
    busy--;
  }
}

// Offers the image and scene files of the editor's folder as choices for the path fields.
async function refreshFiles() {
  try {
    const files = await getFiles();
    for (const [id, names] of [['image-files', files.images], ['scene-files', files.scenes]]) {
      $(id).replaceChildren(...names.map((n) => new Option(n, n)));
    }
  } catch {
    // The fields still take typed paths.
  }
}

function actOn(win) {
  return (action, fields) => run(action, {hwnd: win.hwnd, ...fields});
}

// Draws a window again only when its tree changed, so a field being typed in keeps its
// text and focus while nothing else happens.
function windowElement(win) {
  const json = JSON.stringify(win.tree);
  const old = drawn.get(win.hwnd);
  if (old && old.json === json && old.title === win.title) return old.element;
  const frame = old ? old.element : document.createElement('div');
  frame.replaceChildren();
  frame.className = win.rollup ? 'rollup' : 'dialog';
  frame.dataset.hwnd = win.hwnd;
  frame.dataset.title = win.title;
  frame.tabIndex = -1;
  const caption = document.createElement('div');
  caption.className = 'caption';
  const title = document.createElement('span');
  title.textContent = win.title;
  caption.append(title);
  if (!win.rollup) {
    const close = document.createElement('button');
    close.className = 'close';
    close.title = 'Close';
    close.textContent = '×';
    close.addEventListener('click', () => run('close', {hwnd: win.hwnd}));
    caption.append(close);
    frame.onkeydown = (e) => {
      const keys = {Enter: 'Enter', Escape: 'Escape', Tab: 'Tab', ' ': 'Space'};
      const inField = e.target.tagName === 'INPUT' && e.target.type !== 'checkbox' &&
          e.target.type !== 'radio';
      if (!(e.key in keys) || (inField && e.key !== 'Escape') || e.target.tagName === 'BUTTON') {
        return;
      }
      e.preventDefault();
      run('key', {hwnd: win.hwnd, key: keys[e.key]});
    };
  }
  frame.append(caption, panels.drawWindow(win, actOn(win)));
  drawn.set(win.hwnd, {json, title: win.title, element: frame});
  return frame;
}

function showWindows(s) {
  const live = new Set(s.windows.map((w) => w.hwnd));
  for (const hwnd of [...drawn.keys()]) {
    if (!live.has(hwnd)) {
      drawn.get(hwnd).element.remove();
      drawn.delete(hwnd);
    }
  }
  const panels = $('panels');
  const dialogs = $('dialogs');
  for (const win of s.windows) {
    const el = windowElement(win);
    const parent = win.rollup ? panels : dialogs;
    if (el.parentElement !== parent) {
      parent.append(el);
      if (!win.rollup) el.focus();
    }
  }
  if (s.windows.length === 0) {
    panels.textContent = 'Create a texture to edit its parameters.';
  } else if (panels.firstChild && panels.firstChild.nodeType === Node.TEXT_NODE) {
    panels.firstChild.remove();
  }
  dialogs.classList.toggle('modal', s.windows.some((w) => !w.rollup));
}

function fillSelect(select, items, value) {
  const key = JSON.stringify(items);
  if (select.dataset.items !== key) {
    select.replaceChildren(...items.map(([v, text]) => new Option(text, v)));
    select.dataset.items = key;
  }
  if (value !== undefined) select.value = value;
}

function showMapBrowser(s) {
  const box = $('map-browser');
  const opening = box.hidden && !!s.mapBrowser;
  box.hidden = !s.mapBrowser;
  if (!s.mapBrowser) return;
  if (opening) refreshFiles();
  $('map-slot').textContent = `Map for slot "${s.mapBrowser.slotName}"`;
  const list = $('map-classes');
  if (list.dataset.items !== JSON.stringify(s.classes)) {
    list.replaceChildren(...s.classes.map((c) => {
      const b = document.createElement('button');
      b.textContent = c.label;
      b.dataset.class = c.name;
      b.addEventListener('click', () => run('map', {kind: 'class', value: c.name}));
      return b;
    }));
    list.dataset.items = JSON.stringify(s.classes);
  }
}

function show(s) {
  // Answers to requests that crossed can arrive out of order; an older one would undo the
  // page's view of a newer change. Serials count afresh when the editor restarts.
  if (!s || (state && s.run === state.run && s.serial < state.serial)) return;
  const versionChanged = !state || state.sample.version !== s.sample.version ||
      state.entry !== s.entry;
  state = s;
  fillSelect($('new-class'), s.classes.map((c) => [c.name, c.label]));
  fillSelect($('entries'), s.entries.map((e) => [e, e]), s.entry);
  $('undo').disabled = s.undo.count === 0;
  $('undo').textContent = s.undo.count ? `Undo ${s.undo.label}` : 'Undo';
  $('redo').disabled = s.redo.count === 0;
  $('redo').textContent = s.redo.count ? `Redo ${s.redo.label}` : 'Redo';
  if (document.activeElement !== $('time')) $('time').value = s.time.frame;
  $('time').max = s.time.last;
  $('frame').textContent = s.time.frame;
  $('autokey').setAttribute('aria-pressed', String(s.autoKey));
  document.body.classList.toggle('animating', s.autoKey);
  document.querySelector(`input[name=shape][value=${s.sample.sphere ? 'sphere' : 'plane'}]`)
      .checked = true;
  if (versionChanged) {
    const hasTexture = s.entry !== '';
    $('sample').hidden = !hasTexture;
    $('viewport').hidden = !hasTexture;
    if (hasTexture) {
      $('sample').src = `/api/sample.bmp?v=${s.sample.version}`;
      $('viewport').src = `/api/viewport.bmp?v=${s.sample.version}`;
    }
  }
  $('video-post').hidden = !s.filter.available;
  $('filter-settings').textContent = `Stereo filter: ${s.filter.settings}`;
  $('filter-setup').disabled = s.filter.dialogOpen;
  $('filter-about').disabled = s.filter.dialogOpen;
  if (!panels.dragging) showWindows(s);
  showMapBrowser(s);
}

async function poll() {
  if (busy === 0 && !panels.dragging) {
    try {
      show(await getState());
    } catch (e) {
      status(`The editor does not answer: ${e.message}`, true);
    }
  }
  setTimeout(poll, POLL_MS);
}

function wire() {
  $('new-texture').addEventListener('click', () => run('open', {class: $('new-class').value}));
  $('entries').addEventListener('change', () => run('open', {entry: $('entries').value}));
  $('undo').addEventListener('click', () => run('undo'));
  $('redo').addEventListener('click', () => run('redo'));
  $('time').addEventListener('input', () => ($('frame').textContent = $('time').value));
  $('time').addEventListener('change', () => run('time', {frame: Number($('time').value)}));
  $('autokey').addEventListener('click', () => run('autokey', {on: !state.autoKey}));
  $('scene-save').addEventListener('click', async () => {
    const path = $('scene-path').value;
    let saved = await run('scene/save', {path});
    // An existing scene is replaced only when the user says so.
    if (!saved && refusal?.body?.exists && confirm(`${path} exists. Replace it?`)) {
      saved = await run('scene/save', {path, overwrite: true});
    }
    if (saved) {
      status(`Saved ${path}`);
      refreshFiles();
    }
  });
  $('scene-load').addEventListener('click', () => run('scene/load', {path: $('scene-path').value}));
  for (const r of document.querySelectorAll('input[name=shape]')) {
    r.addEventListener('change', () => run('sample', {sphere: r.value === 'sphere'}));
  }
  $('filter-setup').addEventListener('click', () => run('filter/setup'));
  $('filter-about').addEventListener('click', () => run('filter/about'));
  $('map-use-image').addEventListener('click',
      () => run('map', {kind: 'image', value: $('map-image').value}));
  $('map-none').addEventListener('click', () => run('map', {kind: 'none'}));
  $('map-cancel').addEventListener('click', () => run('map/cancel'));
}

wire();
refreshFiles();
poll();
