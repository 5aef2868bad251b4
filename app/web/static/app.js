// The editor page: draws the state the host answers (panels, dialogs, sample, time, undo,
// map browser, video post) and sends what a person does as actions. Each action answers
// the new state; a poll catches what changes by itself (a modal dialog opening, a redraw).
import {ApiError, getFiles, getState, nextSample, post, showPicture} from './api.js';
import * as panels from './panels.js';

const $ = (id) => document.getElementById(id);
const POLL_MS = 500;

let state = null;
let busy = 0;
const drawn = new Map();  // hwnd -> {json, element}
// Actions go one after another, in the order a person made them: each starts from what
// the one before left, as in the host's own message queue.
let actions = Promise.resolve();
// True while the status line says the editor does not answer; any answer clears it.
let unreachable = false;

function status(text, error = false) {
  const el = $('status');
  el.textContent = text;
  el.classList.toggle('error', error);
}

function reachable() {
  if (unreachable) {
    unreachable = false;
    status('');
  }
}

// Answers whether the action was taken; a refusal shows in the status line and is kept.
let refusal = null;
let lastAnswer = null;
function run(path, body) {
  busy++;
  const done = actions.then(async () => {
    try {
      lastAnswer = await post(path, body);
      show(lastAnswer);
      unreachable = false;
      status('');
      return true;
    } catch (e) {
      refusal = e;
      if (e instanceof ApiError) {
        status(e.message, true);
      } else {
        unreachable = true;
        status(`The editor does not answer: ${e.message}`, true);
      }
      return false;
    } finally {
      busy--;
    }
  });
  actions = done;
  return done;
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

// A field that takes typing (not a check box, radio button, slider or colour).
function isTextField(el) {
  return !!el && ((el.tagName === 'INPUT' &&
      !['checkbox', 'radio', 'range', 'color', 'button', 'submit'].includes(el.type)) ||
      el.tagName === 'TEXTAREA' || el.isContentEditable);
}

// What has the focus inside `frame`: the control's ID, and for a text field its text and
// caret. Null when the focus is elsewhere.
function focusIn(frame) {
  const active = document.activeElement;
  if (!active || active === frame || !frame.contains(active)) return null;
  const ctrl = active.closest('[data-id]');
  if (!ctrl) return null;
  const kept = {id: ctrl.dataset.id};
  if (isTextField(active)) {
    kept.typed = active.value !== active.drawnText ? active.value : null;
    kept.start = active.selectionStart;
    kept.end = active.selectionEnd;
    kept.direction = active.selectionDirection;
  }
  return kept;
}

// Gives the focus back to the same control in a new drawing, with the text being typed
// and the caret where they were.
function restoreFocus(frame, kept) {
  const ctrl = frame.querySelector(`[data-id="${CSS.escape(kept.id)}"]`);
  if (!ctrl) return;
  const target = ctrl.matches('input, button, select') ? ctrl : ctrl.querySelector('input, button');
  if (!target || target.disabled) return;
  if (kept.typed != null && isTextField(target)) target.value = kept.typed;
  target.focus({preventScroll: true});
  if (kept.start != null && isTextField(target)) {
    const n = target.value.length;
    target.setSelectionRange(Math.min(kept.start, n), Math.min(kept.end, n), kept.direction);
  }
}

// Draws a window again only when its tree changed, so a field being typed in keeps its
// text and focus while nothing else happens; when it is drawn again, the focus, a text
// being typed and the caret move to the new drawing, and nothing half-typed is sent.
function windowElement(win) {
  const json = JSON.stringify(win.tree);
  const old = drawn.get(win.hwnd);
  if (old && old.json === json && old.title === win.title) return old.element;
  const frame = old ? old.element : document.createElement('div');
  const kept = old ? focusIn(frame) : null;
  for (const field of frame.querySelectorAll('input')) field.retired = true;
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
  if (kept) restoreFocus(frame, kept);
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
  // The dialog layer is laid over the page before a dialog takes the focus, so that the
  // focus finds it where it shows and the page does not scroll.
  dialogs.classList.toggle('modal', s.windows.some((w) => !w.rollup));
  for (const win of s.windows) {
    const el = windowElement(win);
    const parent = win.rollup ? panels : dialogs;
    if (el.parentElement !== parent) {
      parent.append(el);
      if (!win.rollup) el.focus({preventScroll: true});
    }
  }
  if (s.windows.length === 0) {
    panels.textContent = 'Create a texture to edit its parameters.';
  } else if (panels.firstChild && panels.firstChild.nodeType === Node.TEXT_NODE) {
    panels.firstChild.remove();
  }
}

// Where the open panel sits among nested maps: the texture, then each sub-map down to the
// open one; each step above the open one goes back to it.
function showMapPath(s) {
  const bar = $('map-path');
  const path = s.mapPath || [];
  bar.hidden = path.length === 0;
  const key = JSON.stringify([s.entry, path]);
  if (bar.dataset.path === key) return;
  bar.dataset.path = key;
  const crumbs = $('map-crumbs');
  crumbs.replaceChildren();
  const steps = [s.entry, ...path.map((p) => `${p.slotName}: ${p.map}`)];
  steps.forEach((text, depth) => {
    if (depth > 0) crumbs.append(' › ');
    if (depth === steps.length - 1) {
      const here = document.createElement('strong');
      here.textContent = text;
      here.setAttribute('aria-current', 'page');
      crumbs.append(here);
    } else {
      const b = document.createElement('button');
      b.textContent = text;
      b.dataset.depth = depth;
      b.addEventListener('click', () => run('parent', {depth}));
      crumbs.append(b);
    }
  });
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
  if (opening) {
    refreshFiles();
    // The keyboard starts on the first choice.
    const first = list.querySelector('button');
    if (first) first.focus({preventScroll: true});
  }
}

// The map browser by keyboard: arrows move between the choices, Enter takes the one with
// the focus (as any button), Escape closes the browser without a choice, wherever the
// focus is while it is open.
function mapBrowserKey(e) {
  if ($('map-browser').hidden) return;
  if (e.key === 'Escape') {
    e.preventDefault();
    run('map/cancel');
    return;
  }
  if (e.key !== 'ArrowDown' && e.key !== 'ArrowUp') return;
  if (isTextField(e.target)) return;
  const choices = [...$('map-browser').querySelectorAll('button:not(:disabled)')];
  if (choices.length === 0) return;
  e.preventDefault();
  const at = choices.indexOf(document.activeElement);
  const step = e.key === 'ArrowDown' ? 1 : -1;
  const next = at < 0 ? 0 : (at + step + choices.length) % choices.length;
  choices[next].focus({preventScroll: true});
}

// Ctrl+Z undoes, Ctrl+Y and Ctrl+Shift+Z redo; a field being typed in keeps them for its
// own text, and a dialog or the map browser keeps them away from the panels.
function undoKey(e) {
  if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
  const key = e.key.toLowerCase();
  const undo = key === 'z' && !e.shiftKey;
  const redo = key === 'y' || (key === 'z' && e.shiftKey);
  if (!undo && !redo) return;
  if (isTextField(e.target)) return;
  if ($('dialogs').classList.contains('modal') || !$('map-browser').hidden) return;
  e.preventDefault();
  if (e.repeat) return;
  // A disabled button is the last answer's word unless an action is still on its way,
  // which may leave something to undo or redo: then the key goes after it.
  if (busy === 0 && $(undo ? 'undo' : 'redo').disabled) return;
  run(undo ? 'undo' : 'redo');
}

function show(s) {
  // Answers to requests that crossed can arrive out of order; an older one would undo the
  // page's view of a newer change. Serials count afresh when the editor restarts.
  if (!s || (state && s.run === state.run && s.serial < state.serial)) return;
  state = s;
  // The list offers the open texture's class until another texture opens: a choice made
  // meanwhile stays.
  const newClass = $('new-class');
  const opened = newClass.dataset.opened !== s.openClass;
  fillSelect(newClass, s.classes.map((c) => [c.name, c.label]),
             opened && s.openClass ? s.openClass : undefined);
  newClass.dataset.opened = s.openClass;
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
  $('sample-tile').checked = s.sample.tile;
  $('sample-tile').disabled = s.sample.sphere;
  if (document.activeElement !== $('seed')) $('seed').value = s.sample.seed;
  $('seed-note').hidden = s.entry === '' || s.sample.seedMatters;
  $('sample').hidden = s.entry === '';
  $('viewport').hidden = s.entry === '';
  $('video-post').hidden = !s.filter.available;
  $('filter-settings').textContent = `Stereo filter: ${s.filter.settings}`;
  $('filter-setup').disabled = s.filter.dialogOpen;
  $('filter-about').disabled = s.filter.dialogOpen;
  if (!panels.dragging) showWindows(s);
  showMapPath(s);
  showMapBrowser(s);
}

async function poll() {
  if (busy === 0 && !panels.dragging) {
    try {
      show(await getState());
      reachable();
    } catch (e) {
      unreachable = true;
      status(`The editor does not answer: ${e.message}`, true);
    }
  }
  setTimeout(poll, POLL_MS);
}

// The sample and the viewport bitmap are drawn apart from everything else, a coarse
// picture first and then the full one. The page asks for the next sample as soon as it
// shows one, and the server answers it when it is drawn; the viewport bitmap of the same
// picture follows. The sample's data attributes name what it shows (the change's version,
// and whether it is the full picture).
async function watchPictures() {
  let shown = 0;
  let url = null;
  for (;;) {
    try {
      const next = await nextSample(shown, 4000);
      if (next.picture === shown) continue;
      shown = next.picture;
      if (!next.blob) continue;  // no texture open
      const previous = url;
      url = URL.createObjectURL(next.blob);
      const img = $('sample');
      // The attributes change with the picture, in the same task: set after it, they would
      // name the last picture while this one loads (a coarse one taken for a full one).
      Object.assign(img.dataset, {version: next.version, final: next.final});
      img.src = url;
      showPicture($('viewport'), `/api/viewport.bmp?p=${shown}`);
      await img.decode().catch(() => {});
      if (previous) URL.revokeObjectURL(previous);
    } catch (e) {
      await new Promise((resolve) => setTimeout(resolve, POLL_MS));
    }
  }
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
  $('scene-load').addEventListener('click', async () => {
    // What the user must be told about the loaded scene (older data converted, missing
    // image maps) stays in the status line until the next action.
    if (await run('scene/load', {path: $('scene-path').value}) && lastAnswer?.notes?.length) {
      status(lastAnswer.notes.join('\n'));
    }
  });
  for (const r of document.querySelectorAll('input[name=shape]')) {
    r.addEventListener('change', () => run('sample', {sphere: r.value === 'sphere'}));
  }
  $('sample-tile').addEventListener('change', () => run('sample', {tile: $('sample-tile').checked}));
  $('seed').addEventListener('change', () => run('sample', {seed: Number($('seed').value)}));
  $('filter-setup').addEventListener('click', () => run('filter/setup'));
  $('filter-about').addEventListener('click', () => run('filter/about'));
  $('map-use-image').addEventListener('click',
      () => run('map', {kind: 'image', value: $('map-image').value}));
  $('map-none').addEventListener('click', () => run('map', {kind: 'none'}));
  $('map-cancel').addEventListener('click', () => run('map/cancel'));
  document.addEventListener('keydown', mapBrowserKey);
  $('map-parent').addEventListener('click', () => run('parent'));
  $('map-replace').addEventListener('click', () => run('map/replace'));
  document.addEventListener('keydown', undoKey);
}

wire();
refreshFiles();
// A high-density screen gets a sample with twice the pixels in the same space.
run('sample', {density: Math.min(8, Math.max(0.5, window.devicePixelRatio || 1))});
poll();
watchPictures();
