#!/usr/bin/env bash
# Runs each libFuzzer target for a while from a seed corpus; fails on any crash.
set -euo pipefail
BUILD=${1:-build-fuzz}
SECONDS_EACH=${2:-30}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/scene" "$work/rc" "$work/web" "$work/image" "$work/stereo" "$work/mpo" \
  "$work/manifest" "$work/video" "$work/http"
"$BUILD/fuzz/make_scene_seed" "$work/scene/seed.loom"
for f in tests/rc/data/*.rc; do [ -f "$f" ] && cp "$f" "$work/rc/"; done
# Seeds kept in the tree (fuzz/seeds/<target>/); each target's input format is described at
# the top of its source. Copied, so that the run's new inputs stay out of the tree.
for target in image stereo mpo manifest; do
  [ -d "fuzz/seeds/$target" ] && cp fuzz/seeds/$target/* "$work/$target/"
done
# Web API requests: "METHOD PATH[?QUERY]", a newline, the body.
n=0
while IFS= read -r seed; do
  n=$((n + 1))
  printf '%b' "$seed" >"$work/web/seed$n"
done <<'SEEDS'
GET /api/state
GET /api/sample.bmp?final=1
GET /api/preview?after=0&wait=10
GET /api/bitmap?h=65548
POST /api/click\n{"hwnd":65548,"id":1164}
POST /api/spinner\n{"hwnd":65548,"id":1100,"values":[1.5,2.5],"accept":true}
POST /api/type\n{"hwnd":65548,"id":1101,"text":"12"}
POST /api/color\n{"hwnd":65548,"id":1133,"colors":["#ff0000"],"accept":false}
POST /api/slider\n{"hwnd":65548,"id":1151,"positions":[10,20]}
POST /api/click\n{"hwnd":65548,"id":1136}
POST /api/map\n{"kind":"class","value":"nimbra"}
POST /api/time\n{"frame":10}
POST /api/autokey\n{"on":true}
POST /api/undo\n{}
POST /api/scene/save\n{"path":"a.loom"}
POST /api/scene/load\n{"path":"a.loom"}
POST /api/filter/setup\n{}
POST /api/key\n{"hwnd":65548,"key":"Enter"}
SEEDS

# Videos: small clips of each container and codec the program reads and writes.
if command -v ffmpeg >/dev/null; then
  for seed in a.mkv:ffv1 b.mp4:libx264 c.mov:prores d.nut:ffv1; do
    ffmpeg -v error -f lavfi -i testsrc=size=16x8:rate=5 -frames:v 3 -c:v "${seed#*:}" \
      "$work/video/${seed%%:*}" || true
  done
fi
# Connections to the editor: whole requests with and without the token, and pieces of one.
token="X-Loom-Token: fuzz-token-0123456789abcdef0123456789"
n=0
while IFS= read -r seed; do
  n=$((n + 1))
  printf '%b' "$seed" >"$work/http/seed$n"
done <<SEEDS
GET / HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\n\r\n
GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\n$token\r\n\r\n
GET /api/state HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\nCookie: loom_token=x\r\n\r\n
POST /api/click HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\n$token\r\nContent-Type: application/json\r\nContent-Length: 24\r\n\r\n{"hwnd":65548,"id":1164}
POST /api/scene/save HTTP/1.1\r\nHost: localhost:{PORT}\r\n$token\r\nContent-Type: application/json\r\nExpect: 100-continue\r\nContent-Length: 17\r\n\r\n{"path":"a.loom"}
GET /api/sample.bmp?after=0&wait=10 HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\n$token\r\n\r\n
POST /api/undo HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n
GET /app.js?token=0 HTTP/1.1\r\nHost: 127.0.0.1:{PORT}\r\nAccept-Encoding: gzip\r\n\r\n
GET /api/st
SEEDS

for target in scene rc web image stereo mpo manifest video http; do
  bin="$BUILD/fuzz/${target}_fuzz"
  [ -x "$bin" ] || continue
  echo "fuzzing $target for ${SECONDS_EACH}s"
  # OpenImageIO's PNG reader leaks an error string on truncated files; the image code's own
  # leaks are caught by the sanitizer test suite.
  leaks=1
  # FFmpeg's and the editor's threads and caches live to the end of the run.
  case "$target" in image | stereo | mpo | video | http) leaks=0 ;; esac
  ASAN_OPTIONS="detect_leaks=$leaks" "$bin" -max_total_time="$SECONDS_EACH" -max_len=65536 \
    -print_final_stats=1 -detect_leaks=$leaks -rss_limit_mb=6144 \
    -artifact_prefix="$work/" "$work/$target" 2>"$work/$target.log" || {
      tail -n 40 "$work/$target.log"
      echo "fuzz target $target failed"
      exit 1
    }
  grep -E "^#[0-9]+.*DONE" "$work/$target.log" | tail -n 1 || true
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" "$work/$target.log" || true
done
