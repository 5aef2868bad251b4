#!/usr/bin/env bash
# Whether the same side-by-side clip and options give the same encoded file run after run:
# a 10-second 1920 x 1080 clip (FFmpeg's testsrc2 beside a shifted, blurred copy, with AAC
# sound) through `loomhost anaglyph` RUNS times, and the same through FFmpeg's own stereo
# filter and libx264 for comparison. Prints how many distinct files each gave. Timing
# decides libx264's threads, so differences show most on a busy machine; it takes about
# ten seconds a run on two cores.
# Usage: bench/stereo/repeatable_encode.sh [BUILD]   (RUNS=10, CODEC=h264)
set -euo pipefail
BUILD=${1:-build}
RUNS=${RUNS:-10}
CODEC=${CODEC:-h264}
loomhost="$BUILD/bin/loomhost"
[ -x "$loomhost" ] || { echo "build loomhost first ($loomhost)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -loglevel error -y -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=10" \
  -f lavfi -i "sine=frequency=440:duration=10" \
  -filter_complex "[0]split[a][b];[b]hue=h=30,boxblur=2[c];[a][c]hstack,scale=1920:1080[v]" \
  -map "[v]" -map 1 -c:v libx264 -crf 18 -c:a aac "$tmp/sbs.mp4"

distinct() { sort "$1" | uniq | wc -l; }
for i in $(seq "$RUNS"); do
  "$loomhost" anaglyph --sbs "$tmp/sbs.mp4" --codec "$CODEC" -o "$tmp/ours.mp4" > /dev/null 2>&1
  md5sum < "$tmp/ours.mp4" >> "$tmp/ours.sums"
  if [ "$CODEC" = h264 ]; then
    ffmpeg -loglevel error -y -i "$tmp/sbs.mp4" -vf stereo3d=sbsl:arcg -c:v libx264 -c:a copy \
      -flags +bitexact -fflags +bitexact "$tmp/theirs.mp4"
    md5sum < "$tmp/theirs.mp4" >> "$tmp/theirs.sums"
  fi
done
echo "$(nproc) processors, load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "loomhost anaglyph ($CODEC): $(distinct "$tmp/ours.sums") distinct file(s) in $RUNS runs"
[ "$CODEC" = h264 ] && echo "ffmpeg stereo3d (libx264 defaults): $(distinct "$tmp/theirs.sums") distinct file(s) in $RUNS runs"
exit 0
