#!/usr/bin/env bash
# A still JPEG pair (960 x 540, FFmpeg's testsrc2, the right view cut 10 columns and
# stretched back) through `loomhost anaglyph L R -o out.png`, against FFmpeg making the
# same kind of anaglyph from the same files (hstack, stereo3d to red-cyan, PNG out). Prints
# the best of RUNS runs of each in wall time and in processor time (user + system), and
# whether loomhost loaded the image library (it should not: PNG and JPEG are read and PNG
# written directly).
# Usage: bench/stereo/jpeg_pair.sh [BUILD]   (RUNS=5, SIZE=960x540)
set -euo pipefail
BUILD=${1:-build}
RUNS=${RUNS:-5}
SIZE=${SIZE:-960x540}
loomhost="$BUILD/bin/loomhost"
plugins="$BUILD/plugins"
[ -x "$loomhost" ] || { echo "build loomhost first ($loomhost)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "the time program is not installed (Debian package time)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
w=${SIZE%x*}
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=$SIZE" -frames:v 1 "$tmp/L.jpg"
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=$SIZE" \
  -vf "crop=$((w - 10)):ih:10:0,scale=$SIZE" -frames:v 1 "$tmp/R.jpg"

# The best wall and processor times of RUNS runs of the command given.
best() {
  local wall="" cpu=""
  for _ in $(seq "$RUNS"); do
    /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$@" > /dev/null 2>&1
    read -r e u s < "$tmp/time"
    local c
    c=$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }')
    if [ -z "$wall" ] || awk -v a="$e" -v b="$wall" 'BEGIN { exit !(a < b) }'; then wall=$e; fi
    if [ -z "$cpu" ] || awk -v a="$c" -v b="$cpu" 'BEGIN { exit !(a < b) }'; then cpu=$c; fi
  done
  echo "$wall s wall, $cpu s processor"
}
ours=$(best "$loomhost" --plugins "$plugins" anaglyph "$tmp/L.jpg" "$tmp/R.jpg" -o "$tmp/a.png" \
  --force)
theirs=$(best ffmpeg -loglevel error -y -i "$tmp/L.jpg" -i "$tmp/R.jpg" \
  -filter_complex "[0][1]hstack,stereo3d=sbsl:arcd" "$tmp/f.png")
LD_DEBUG=libs LD_DEBUG_OUTPUT="$tmp/ld" "$loomhost" --plugins "$plugins" anaglyph "$tmp/L.jpg" \
  "$tmp/R.jpg" -o "$tmp/a.png" --force > /dev/null 2>&1
if grep -q -e OpenImageIO -e libloomimage "$tmp"/ld.*; then loaded=yes; else loaded=no; fi
echo "CPU: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores; load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "$SIZE JPEG pair to a PNG anaglyph, best of $RUNS:"
echo "  loomhost anaglyph: $ours (image library loaded: $loaded)"
echo "  ffmpeg:            $theirs"
