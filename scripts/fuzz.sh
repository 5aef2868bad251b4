#!/usr/bin/env bash
# Runs each libFuzzer target for a while from a seed corpus; fails on any crash.
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/scene" "$work/rc"
"$BUILD/fuzz/make_scene_seed" "$work/scene/seed.loom"
for f in tests/rc/data/*.rc; do [ -f "$f" ] && cp "$f" "$work/rc/"; done

for target in scene rc; do
  bin="$BUILD/fuzz/${target}_fuzz"
  [ -x "$bin" ] || continue
  echo "fuzzing $target for ${SECONDS_EACH}s"
  "$bin" -max_total_time="$SECONDS_EACH" -max_len=65536 -print_final_stats=0 \
    -artifact_prefix="$work/" "$work/$target" 2>"$work/$target.log" || {
      tail -n 40 "$work/$target.log"
      echo "fuzz target $target failed"
      exit 1
    }
  grep -E "^#[0-9]+.*DONE" "$work/$target.log" | tail -n 1 || true
done
