#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format 14 makes of it with the
# repository's .clang-format; `make format` rewrites them.
set -euo pipefail
cd "$(dirname "$0")/.."
FORMAT=$(command -v clang-format-14 || command -v clang-format)
if ! "$FORMAT" --version | grep -q "version 14\."; then
  echo "check-format: $FORMAT is not clang-format 14" >&2
  exit 1
fi
git ls-files -z '*.cpp' '*.h' | xargs -0 "$FORMAT" --dry-run -Werror
