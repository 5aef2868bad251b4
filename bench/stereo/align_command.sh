#!/usr/bin/env bash
# The whole `loomhost anaglyph LEFT RIGHT --align=report` on a 12-megapixel PNG pair
# (4000 x 3000, 8-bit RGB): reading both files, estimating, printing. The pair is FFmpeg's
# mandelbrot, its right view turned 0.6 degrees and moved 9 rows down. Prints the best of
# RUNS runs in wall time and in processor time (user + system), the alignment's own
# align_seconds, and the processor (lscpu). ONE_CORE=1 runs it pinned to one core (taskset).
# Usage: bench/stereo/align_command.sh [BUILD]   (RUNS=5, ONE_CORE=0|1)
set -euo pipefail
BUILD=${1:-build}
RUNS=${RUNS:-5}
loomhost="$BUILD/bin/loomhost"
plugins="$BUILD/plugins"
[ -x "$loomhost" ] || { echo "build loomhost first ($loomhost)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "the time program is not installed (Debian package time)" >&2; exit 1; }
pin=()
[ "${ONE_CORE:-0}" = 1 ] && pin=(taskset -c 0)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -loglevel error -y -f lavfi -i "mandelbrot=size=4000x3000:end_pts=1" -frames:v 1 \
  -pix_fmt rgb24 "$tmp/left.png"
ffmpeg -loglevel error -y -i "$tmp/left.png" \
  -vf "rotate=0.6*PI/180,pad=4000:3009:0:9,crop=4000:3000:0:0" -pix_fmt rgb24 "$tmp/right.png"

best_wall="" best_cpu="" best_align=""
for _ in $(seq "$RUNS"); do
  "${pin[@]}" /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$loomhost" --plugins "$plugins" \
    anaglyph "$tmp/left.png" "$tmp/right.png" --align=report --report "$tmp/r.json" --force \
    > "$tmp/out"
  read -r wall user sys < "$tmp/time"
  cpu=$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')
  align=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["align_seconds"])' \
    "$tmp/r.json")
  smaller() { [ -z "$2" ] || awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
  if smaller "$wall" "$best_wall"; then best_wall=$wall; fi
  if smaller "$cpu" "$best_cpu"; then best_cpu=$cpu; fi
  if smaller "$align" "$best_align"; then best_align=$align; fi
done
cut -c1-160 "$tmp/out"
echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores${pin:+ (pinned to one)}"
echo "12 MP pair, anaglyph --align=report, best of $RUNS: ${best_wall} s wall, ${best_cpu} s" \
  "processor time; align_seconds ${best_align} s (targets: 2 s for the command, 1 s to align)"
