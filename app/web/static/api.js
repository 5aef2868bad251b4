// The editor's JSON API as the page calls it: every action answers the state afterwards.

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
  return answer(await fetch('/api/state', {cache: 'no-store'}));
}

// Image and scene files under the editor's folder, as paths the page may name.
export async function getFiles() {
  return answer(await fetch('/api/files', {cache: 'no-store'}));
}

export async function post(path, body = {}) {
  return answer(await fetch('/api/' + path, {
    method: 'POST',
    headers: {'Content-Type': 'application/json'},
    body: JSON.stringify(body),
  }));
}

// The sample picture once one numbered above `after` is drawn (waiting up to `waitMs`):
// {picture, version, final, blob}, or {picture} alone when no texture is open.
export async function nextSample(after, waitMs) {
  const response = await fetch(`/api/sample.bmp?after=${after}&wait=${waitMs}`,
                               {cache: 'no-store'});
  const picture = Number(response.headers.get('X-Loom-Picture') || after);
  if (response.status === 404) {
    const state = await answer(await fetch(`/api/preview?after=${after}`, {cache: 'no-store'}));
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
