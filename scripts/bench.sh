#!/usr/bin/env bash
# Runs every benchmark once, in one run, so that their figures can be compared as ratios.
set -euo pipefail
BUILD=${1:-build}
for b in "$BUILD"/bench/*_bench "$BUILD"/bench/*/*_bench; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b" --benchmark_min_time=0.5
done
