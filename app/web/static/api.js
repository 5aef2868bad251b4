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

// The latest preview picture's number once it is above `after` (waiting up to `waitMs`):
// {picture, version, final, size, empty}.
export async function waitPicture(after, waitMs) {
  return answer(await fetch(`/api/preview?after=${after}&wait=${waitMs}`, {cache: 'no-store'}));
}
