#!/usr/bin/env bash
# The editor page's scripts and the browser test, parsed by node as the ES modules they
# are: a syntax error in the page would otherwise only show when a browser loads it.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r -d '' file; do
  # From stdin, so that node parses a .js file as a module and not as CommonJS.
  if ! node --input-type=module --check <"$file"; then
    echo "check-web: $file does not parse" >&2
    status=1
  fi
done < <(git ls-files -z 'app/web/static/*.js' 'tests/e2e/*.mjs')
exit $status
