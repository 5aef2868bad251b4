// Draws a window of the host's window system from its tree (class, text, style, state
// and rectangle in dialog units) and turns what a person does to it into API actions.

import {showKeptPicture} from './api.js';

// Dialog units to CSS pixels: a dialog unit is a quarter of the window's horizontal base
// unit and an eighth of its vertical one. The host answers each window's base units (the
// numbers its own MapDialogRect uses), so the page draws every dialog at the host's size.
function unitsOf(win) {
  const [baseX, baseY] = win.units;
  return {x: baseX / 4, y: baseY / 8};
}

const BS_TYPEMASK = 0x000f;
const BS_PUSHLIKE = 0x1000;
const BS_BITMAP = 0x0080;
const BS_ALIGNMASK = 0x0300;
const BS_RIGHT = 0x0200;
const BS_CENTER = 0x0300;
const SS_TYPEMASK = 0x001f;
const SS_CENTER = 0x0001;
const SS_RIGHT = 0x0002;
const SS_BITMAP = 0x000e;
const SS_REALSIZECONTROL = 0x0040;
const SS_NOTIFY = 0x0100;
const TBS_VERT = 0x0002;

function place(el, node, unit) {
  const [x, y, cx, cy] = node.dlu || [
    node.rect[0] / unit.x, node.rect[1] / unit.y,
    (node.rect[2] - node.rect[0]) / unit.x, (node.rect[3] - node.rect[1]) / unit.y,
  ];
  el.style.left = `${x * unit.x}px`;
  el.style.top = `${y * unit.y}px`;
  el.style.width = `${cx * unit.x}px`;
  el.style.height = `${cy * unit.y}px`;
}

// Text without the '&' mnemonic marks ("&&" is a literal '&').
function label(text) {
  return text.replace(/&(&?)/g, '$1');
}

function picture(node) {
  const img = document.createElement('img');
  showKeptPicture(img, `/api/bitmap?h=${node.image}&r=${node.revision}`);
  img.alt = '';
  img.draggable = false;
  return img;
}

function button(node, act) {
  const type = node.style & BS_TYPEMASK;
  if (type === 7) {  // group box
    const box = document.createElement('fieldset');
    const legend = document.createElement('legend');
    legend.textContent = label(node.text);
    // The title sits where the style puts it: left unless centred or right-aligned.
    const align = node.style & BS_ALIGNMASK;
    if (align === BS_CENTER) legend.classList.add('centre');
    if (align === BS_RIGHT) legend.classList.add('right');
    box.append(legend);
    return box;
  }
  const check = [2, 3, 5, 6].includes(type);
  const radio = [4, 9].includes(type);
  if ((check || radio) && !(node.style & BS_PUSHLIKE)) {
    const wrap = document.createElement('label');
    const input = document.createElement('input');
    input.type = radio ? 'radio' : 'checkbox';
    input.checked = node.check === 1;
    input.disabled = !node.enabled;
    // The window system decides what the click does; the page shows what it decided.
    input.addEventListener('click', (e) => {
      e.preventDefault();
      act('click', {id: node.id});
    });
    wrap.append(input, document.createTextNode(label(node.text)));
    return wrap;
  }
  const el = document.createElement('button');
  el.type = 'button';
  if (node.image && (node.style & BS_BITMAP)) {
    el.append(picture(node));
  } else {
    el.textContent = label(node.text);
  }
  if (node.check === 1) el.classList.add('pressed');
  if ((node.style & BS_TYPEMASK) === 1) el.classList.add('default');
  el.disabled = !node.enabled;
  el.addEventListener('click', () => act('click', {id: node.id}));
  return el;
}

function staticControl(node, act) {
  const type = node.style & SS_TYPEMASK;
  const el = document.createElement('div');
  if (type === SS_BITMAP) {
    if (node.image) el.append(picture(node));
    // The picture is stretched to the control, as the window system does with this style;
    // without it, a picture keeps its proportions.
    if (node.style & SS_REALSIZECONTROL) el.classList.add('stretched');
  } else if (type >= 4 && type <= 9 || type >= 0x10 && type <= 0x12) {
    el.classList.add('frame');
  } else {
    el.textContent = label(node.text);
    if (type === SS_CENTER) el.style.textAlign = 'center';
    if (type === SS_RIGHT) el.style.textAlign = 'right';
  }
  if (node.style & SS_NOTIFY) {
    el.classList.add('clickable');
    el.addEventListener('click', () => act('click', {id: node.id}));
  }
  return el;
}

function edit(node, act) {
  const el = document.createElement('input');
  el.value = node.text;
  el.disabled = !node.enabled;
  // What the host shows: a redraw tells a typed text from this by it.
  el.drawnText = node.text;
  // Enter sends the text; leaving the field sends it too unless Enter already did. A
  // field a redraw has replaced sends nothing: its text, if any, lives on in the new one.
  let sent = node.text;
  const send = async () => {
    if (el.retired || el.value === sent) return;
    sent = el.value;
    if (!(await act('type', {id: node.id, text: el.value})) && !el.retired &&
        el.value === sent) {
      // Refused: the field shows the host's value again (the status line says why).
      el.value = node.text;
      sent = node.text;
    }
  };
  el.addEventListener('keydown', (e) => {
    if (e.key === 'Enter') {
      e.preventDefault();
      sent = null;
      send();
    }
  });
  el.addEventListener('change', send);
  return el;
}

// True while the mouse drags a control: the page then leaves the windows as they are, so
// the control being dragged is not replaced under the pointer.
export let dragging = false;

// Values sent to spinners whose answers have not all come back, by window and control:
// a click made meanwhile counts from the value last sent, not from the one drawn.
const spinnerSends = new Map();  // "hwnd:id" -> {value, pending}

// A spinner: drag up or down to change the value (one undo entry per drag), click an
// arrow for one step, Escape while dragging to cancel.
function spinner(node, act, hwnd) {
  const s = node.spinner;
  const sendKey = `${hwnd}:${node.id}`;
  const el = document.createElement('div');
  el.classList.add('spinner');
  el.innerHTML = '<span class="up">▲</span><span class="down">▼</span>';
  const step = s.integer ? Math.max(1, Math.round(s.scale)) : s.scale;
  const clamp = (v) => Math.min(s.max, Math.max(s.min, s.integer ? Math.round(v) : v));
  el.addEventListener('pointerdown', (e) => {
    if (!node.enabled || e.button !== 0) return;
    e.preventDefault();
    el.setPointerCapture(e.pointerId);
    dragging = true;
    const startY = e.clientY;
    const inFlight = spinnerSends.get(sendKey);
    const base = inFlight ? inFlight.value : s.value;
    const up = e.target.classList.contains('up') ||
        e.clientY < el.getBoundingClientRect().top + el.clientHeight / 2;
    const values = [];
    let cancelled = false;
    const move = (m) => {
      const v = clamp(base + Math.round(startY - m.clientY) * step);
      if (values.length === 0 || values[values.length - 1] !== v) values.push(v);
    };
    const key = (k) => {
      if (k.key === 'Escape') cancelled = true;
    };
    const finish = () => {
      el.removeEventListener('pointermove', move);
      el.removeEventListener('pointerup', finish);
      el.removeEventListener('pointercancel', finish);
      window.removeEventListener('keydown', key);
      dragging = false;
      if (values.length === 0) values.push(clamp(base + (up ? step : -step)));
      // Long drags are thinned out; the last value always goes.
      const every = Math.ceil(values.length / 200);
      const sent = values.filter((_, i) => i % every === 0 || i === values.length - 1);
      const entry = spinnerSends.get(sendKey) || {value: base, pending: 0};
      entry.value = cancelled ? base : sent[sent.length - 1];
      entry.pending++;
      spinnerSends.set(sendKey, entry);
      act('spinner', {id: node.id, values: sent, accept: !cancelled}).finally(() => {
        entry.pending--;
        if (entry.pending === 0 && spinnerSends.get(sendKey) === entry) {
          spinnerSends.delete(sendKey);
        }
      });
    };
    el.addEventListener('pointermove', move);
    el.addEventListener('pointerup', finish);
    el.addEventListener('pointercancel', finish);
    window.addEventListener('keydown', key);
  });
  return el;
}

function swatch(node, act) {
  const el = document.createElement('div');
  el.classList.add('swatch');
  el.style.background = node.swatch.color;
  el.title = node.swatch.name;
  const input = document.createElement('input');
  input.type = 'color';
  input.value = node.swatch.color;
  const colours = [];
  input.addEventListener('input', () => colours.push(input.value));
  input.addEventListener('change', () => {
    if (colours.length === 0 || colours[colours.length - 1] !== input.value) {
      colours.push(input.value);
    }
    act('color', {id: node.id, colors: colours.slice(-200), accept: true});
  });
  el.addEventListener('click', () => {
    if (node.enabled) input.click();
  });
  el.append(input);
  return el;
}

function trackbar(node, act) {
  const t = node.trackbar;
  const el = document.createElement('input');
  el.type = 'range';
  el.min = t.min;
  el.max = t.max;
  el.value = t.pos;
  el.disabled = !node.enabled;
  if (node.style & TBS_VERT) el.classList.add('vertical');
  const positions = [];
  el.addEventListener('input', () => positions.push(Number(el.value)));
  el.addEventListener('change', () => {
    if (positions.length === 0) positions.push(Number(el.value));
    act('slider', {id: node.id, positions: positions.splice(0).slice(-200)});
  });
  return el;
}

function custButton(node, act) {
  const b = node.custButton;
  const el = document.createElement('button');
  el.type = 'button';
  if (b.images && b.imageIndex >= 0) {
    const img = document.createElement('img');
    showKeptPicture(img, `/api/imagelist?h=${b.images}&i=${b.imageIndex}`);
    img.alt = label(node.text);
    el.append(img);
  } else {
    el.textContent = label(node.text);
  }
  if (b.checked) {
    el.classList.add('pressed');
    el.style.background = b.highlight;
  }
  el.disabled = !node.enabled;
  el.addEventListener('click', () => act('click', {id: node.id}));
  return el;
}

function control(node, act, hwnd) {
  switch (node.class) {
    case 'Button': return button(node, act);
    case 'Static': return staticControl(node, act);
    case 'Edit':
    case 'CustEdit': return edit(node, act);
    case 'SpinnerControl': return spinner(node, act, hwnd);
    case 'ColorSwatch': return swatch(node, act);
    case 'msctls_trackbar32': return trackbar(node, act);
    case 'CustButton': return custButton(node, act);
    default: {
      const el = document.createElement('div');
      el.textContent = label(node.text);
      return el;
    }
  }
}

// The window's client area with its controls. `act(action, fields)` sends an action on
// this window and answers (a promise of) whether it was taken.
export function drawWindow(win, act) {
  const tree = win.tree;
  const unit = unitsOf(win);
  const body = document.createElement('div');
  body.classList.add('client');
  const [, , cx, cy] = tree.dlu || [0, 0, 200, 100];
  body.style.width = `${cx * unit.x}px`;
  body.style.height = `${cy * unit.y}px`;
  for (const node of tree.children) {
    if (!node.visible) continue;
    const el = control(node, act, win.hwnd);
    el.classList.add('control', `c-${node.class.replace(/[^A-Za-z0-9_]/g, '')}`);
    if (!node.enabled) el.classList.add('disabled');
    el.dataset.id = node.id;
    place(el, node, unit);
    body.append(el);
  }
  return body;
}
