// The editor's JSON API as the page calls it: every action answers the state afterwards.
//
// Every request carries the session token in a header. The page takes it from the address
// the editor printed and keeps it in this tab's session storage, which belongs to this port
// alone (a cookie would travel to every port of the host); the address then drops it.

const TOKEN_KEY = 'loom-token';

function sessionToken() {
  const params = new URLSearchParams(location.search);
  if (params.has('token')) {
    sessionStorage.setItem(TOKEN_KEY, params.get('token'));
    params.delete('token');
    const rest = params.toString();
    history.replaceState(history.state, '', location.pathname + (rest ? `?${rest}` : '') +
                         location.hash);
  }
  return sessionStorage.getItem(TOKEN_KEY) || '';
}

const token = sessionToken();

function call(url, options = {}) {
  return fetch(url, {
    cache: 'no-store',
    ...options,
    credentials: 'omit',
    headers: {...(options.headers || {}), 'X-Loom-Token': token},
  });
}

export class ApiError extends Error {
  constructor(status, message, body = null) {
    super(message);
    this.status = status;
    this.body = body;  // the refusal's other fields, e.g. exists
  }
}

async function answer(response) {
  let body = null;
  try {
    body = await response.json();
  } catch {
    body = null;
  }
  if (!response.ok) {
    throw new ApiError(response.status, (body && body.error) || response.statusText, body);
  }
  return body;
}

export async function getState() {
  return answer(await call('/api/state'));
}

// Image and scene files under the editor's folder, as paths the page may name.
export async function getFiles() {
  return answer(await call('/api/files'));
}

export async function post(path, body = {}) {
  return answer(await call('/api/' + path, {
    method: 'POST',
    headers: {'Content-Type': 'application/json'},
    body: JSON.stringify(body),
  }));
}

// The sample picture once one numbered above `after` is drawn (waiting up to `waitMs`):
// {picture, version, final, blob}, or {picture} alone when no texture is open.
export async function nextSample(after, waitMs) {
  const response = await call(`/api/sample.bmp?after=${after}&wait=${waitMs}`);
  const picture = Number(response.headers.get('X-Loom-Picture') || after);
  if (response.status === 404) {
    const state = await answer(await call(`/api/preview?after=${after}`));
    return {picture: state.picture};
  }
  if (!response.ok) await answer(response);  // throws, with the editor's reason
  return {
    picture,
    version: Number(response.headers.get('X-Loom-Version')),
    final: response.headers.get('X-Loom-Final') === '1',
    blob: await response.blob(),
  };
}

// Shows the picture at the API address `url` in `img`: an <img> cannot send the token, so
// the picture comes through fetch and shows from a blob: address, freed once a later picture
// replaces it. Answers when the picture shows (a failure leaves the old one).
export async function showPicture(img, url) {
  const response = await call(url);
  if (!response.ok) return;
  const address = URL.createObjectURL(await response.blob());
  const previous = img.dataset.blob;
  img.dataset.blob = address;
  img.src = address;
  await img.decode().catch(() => {});
  if (previous) URL.revokeObjectURL(previous);
}

// The same for the pictures of panels and dialogs, which are drawn anew with their window:
// each address is fetched once and kept, the oldest freed beyond a few dozen.
const kept = new Map();
const KEPT_MOST = 64;

export async function showKeptPicture(img, url) {
  let address = kept.get(url);
  if (!address) {
    address = call(url).then(async (response) =>
      response.ok ? URL.createObjectURL(await response.blob()) : '');
    kept.set(url, address);
    if (kept.size > KEPT_MOST) {
      const [oldest, freed] = kept.entries().next().value;
      kept.delete(oldest);
      freed.then((a) => a && URL.revokeObjectURL(a));
    }
  }
  const shown = await address;
  if (shown) {
    img.src = shown;
  } else {
    kept.delete(url);  // asked again the next time the window is drawn
  }
}
