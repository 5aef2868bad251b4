#!/usr/bin/env bash
# Anaglyph throughput, three figures from one run on the same 3840 x 2160 frames:
#   1. the Dioptrix render (16-bit host pixels, one thread), from dioptrix_bench;
#   2. FFmpeg's stereo3d filter making a grey red/green anaglyph (argg) from the same pair
#      side by side (8-bit RGB, one thread), its decoding of the raw input subtracted;
#   3. the memory bound of reading two 8-byte pixels and writing one, from dioptrix_bench.
# Usage: bench/dioptrix/compare_ffmpeg.sh [BUILD] (FRAMES=30 by default).
set -euo pipefail
BUILD=${1:-build}
FRAMES=${FRAMES:-30}
bench="$BUILD/bench/dioptrix/dioptrix_bench"
[ -x "$bench" ] || { echo "build dioptrix_bench first ($bench)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$bench" --write-frames="$tmp/pair.rgb" > /dev/null

"$bench" --benchmark_filter='BM_AnaglyphRender|BM_MemoryBound' --benchmark_min_time=1 \
  --benchmark_format=csv 2> /dev/null > "$tmp/ours.csv"

# Seconds of wall time FFmpeg spends on FRAMES frames through the filter graph "$1".
ffmpeg_seconds() {
  ffmpeg -hide_banner -nostdin -benchmark -threads 1 -f rawvideo -pix_fmt rgb24 \
    -s 7680x2160 -stream_loop $((FRAMES - 1)) -i "$tmp/pair.rgb" -filter_threads 1 \
    -filter_complex_threads 1 -vf "$1" -f null - 2>&1 |
    sed -n 's/.*rtime=\([0-9.]*\)s.*/\1/p'
}
base=$(ffmpeg_seconds null)
stereo=$(ffmpeg_seconds stereo3d=sbsl:argg)

ours=$(grep '^"BM_AnaglyphRender' "$tmp/ours.csv" | awk -F, '{print $NF}')
bound=$(grep '^"BM_MemoryBound' "$tmp/ours.csv" | awk -F, '{print $NF}')
awk -v f="$FRAMES" -v base="$base" -v st="$stereo" -v ours="$ours" -v bound="$bound" 'BEGIN {
  px = 3840 * 2160 / 1e6
  filt = st - base
  printf "dioptrix render:          %8.1f MP/s\n", ours
  printf "ffmpeg stereo3d argg:     %8.1f MP/s  (%d frames in %.3f s, %.3f s of it reading input)\n", f * px / filt, f, st, base
  printf "memory bound (2R + 1W):   %8.1f MP/s\n", bound
  printf "ratios: dioptrix/ffmpeg %.2f, dioptrix/bound %.2f, ffmpeg/bound %.2f\n", ours / (f * px / filt), ours / bound, (f * px / filt) / bound
}'
