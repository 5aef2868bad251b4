// The browser tests' common start: the system Chromium (CHROMIUM overrides
// /usr/bin/chromium) driven by playwright-core. Where either is not installed the test is
// skipped (exit 77), so that builds without them still pass; scripts/install-deps.sh
// installs both.
import {spawn} from 'node:child_process';
import {existsSync} from 'node:fs';

export const SKIP = 77;

/// {chromium, browserPath}, or exits with SKIP saying what is missing.
export async function browserOrSkip() {
  const browserPath = process.env.CHROMIUM || '/usr/bin/chromium';
  if (!existsSync(browserPath)) {
    console.log(`skipped: no browser at ${browserPath}`);
    process.exit(SKIP);
  }
  try {
    const {chromium} = await import('playwright-core');
    return {chromium, browserPath};
  } catch {
    console.log('skipped: playwright-core is not installed (npm ci in tests/e2e)');
    process.exit(SKIP);
  }
}

/// Starts `loomhost edit` on a free port and resolves, once it has printed its address,
/// to {child, url, base, token}: the whole address (with the session token), the page's
/// root and the token. `extra` are further options of `edit` (for example ['--open', 'nimbra']).
export function startEditor(loomhost, plugins, root, extra = [], timeoutMs = 10000) {
  const child = spawn(loomhost, ['--plugins', plugins, 'edit', '--port', '0', ...extra, '--root', root],
                      {stdio: ['ignore', 'pipe', 'inherit']});
  return new Promise((resolve, reject) => {
    let out = '';
    const timer = setTimeout(() => reject(new Error('the editor did not start')), timeoutMs);
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
