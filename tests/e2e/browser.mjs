// The browser tests' common start: the system Chromium (CHROMIUM overrides
// /usr/bin/chromium) driven by playwright-core. Where either is not installed the test is
// skipped (exit 77), so that builds without them still pass; scripts/install-deps.sh
// installs both.
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
