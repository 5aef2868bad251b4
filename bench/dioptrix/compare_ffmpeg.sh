#!/usr/bin/env bash
# Anaglyph throughput against FFmpeg's stereo3d filter, every figure from the same run:
#   1. 3840 x 2160: the Dioptrix render (16-bit host pixels, one thread, dioptrix_bench);
#      stereo3d making a grey red/green anaglyph (argg) of the same pair side by side (8-bit
#      RGB, one thread); the memory bound of reading two 8-byte pixels and writing one.
#   2. 1920 x 1080 video frames: loomhost anaglyph's composition of a decoded pair (8- and
#      16-bit, packed as the video path hands them over, and beside them as 16-bit RGBA;
#      one thread, video_compose_bench); stereo3d argg and arcd (red/cyan Dubois) on the
#      same 8-bit pair.
#   3. End to end: one side-by-side H.264 clip to H.264 (libx264 at its defaults, crf 23,
#      yuv420p) by loomhost anaglyph and by ffmpeg -vf stereo3d=sbsl:arcd (and argg).
# FFmpeg's filter time is the best of RUNS runs with the filter less the best of RUNS runs of
# the same input through -vf null, over FRAMES frames; single runs differ far too much for a
# difference of two of them to mean anything. End-to-end times are the best of RUNS too.
# CLOCK=cpu counts processor time (user + system) instead of wall time, for a machine that
# other work keeps busy, where wall times measure the other work as much as this.
# Usage: bench/dioptrix/compare_ffmpeg.sh [BUILD]   (FRAMES=60, RUNS=5, CLOCK=wall|cpu)
set -euo pipefail
BUILD=${1:-build}
FRAMES=${FRAMES:-60}
RUNS=${RUNS:-5}
CLOCK=${CLOCK:-wall}
[ "$CLOCK" = wall ] || [ "$CLOCK" = cpu ] || { echo "CLOCK is wall or cpu" >&2; exit 1; }
[ "$FRAMES" -ge 60 ] || { echo "FRAMES must be at least 60" >&2; exit 1; }
bench="$BUILD/bench/dioptrix/dioptrix_bench"
video_bench="$BUILD/bench/dioptrix/video_compose_bench"
loomhost="$BUILD/bin/loomhost"
plugins="$BUILD/plugins"
for b in "$bench" "$video_bench" "$loomhost"; do
  [ -x "$b" ] || { echo "build $(basename "$b") first ($b)" >&2; exit 1; }
done
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "the time program is not installed (Debian package time)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$bench" --write-frames="$tmp/pair4k.rgb" > /dev/null
"$video_bench" --write-frames="$tmp/pair1080.rgb" > /dev/null

"$bench" --benchmark_filter='BM_AnaglyphRender|BM_MemoryBound' --benchmark_min_time=1 \
  --benchmark_repetitions="$RUNS" --benchmark_format=csv 2> /dev/null > "$tmp/ours4k.csv"
"$video_bench" --benchmark_filter='BM_VideoCompose' --benchmark_min_time=1 \
  --benchmark_repetitions="$RUNS" --benchmark_format=csv 2> /dev/null > "$tmp/ours1080.csv"

# The best (highest) MP/s of a benchmark's RUNS repetitions over $3 megapixels an
# iteration: from the wall-time counter (the last CSV column), or from the processor time
# (the fourth, in milliseconds).
rate() {
  grep "^\"$2\"," "$1" | awk -F, -v clock="$CLOCK" -v mp="$3" 'BEGIN { m = 0 }
    { r = clock == "cpu" ? mp * 1000 / $4 : $NF; if (r > m) m = r } END { print m }'
}

# Best of RUNS times (wall or processor), in seconds, of FFmpeg taking FRAMES frames of the raw side-by-side
# file "$1" of size "$2" through the filter graph "$3", on one thread.
ffmpeg_best() {
  local best=""
  for _ in $(seq "$RUNS"); do
    local t
    t=$(ffmpeg -hide_banner -nostdin -benchmark -threads 1 -f rawvideo -pix_fmt rgb24 \
          -s "$2" -stream_loop $((FRAMES - 1)) -i "$1" -filter_threads 1 \
          -filter_complex_threads 1 -vf "$3" -f null - 2>&1 |
        sed -n 's/.*utime=\([0-9.]*\)s stime=\([0-9.]*\)s rtime=\([0-9.]*\)s.*/\1 \2 \3/p' |
        awk -v clock="$CLOCK" '{ print clock == "cpu" ? $1 + $2 : $3 }')
    best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  echo "$best"
}

# Best of RUNS times of a command, in seconds (processor time of all its threads with
# CLOCK=cpu).
wall_best() {
  local best=""
  for _ in $(seq "$RUNS"); do
    local t
    /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$@" > /dev/null 2>&1
    t=$(awk -v clock="$CLOCK" '{ print clock == "cpu" ? $2 + $3 : $1 }' "$tmp/time")
    best=$(awk -v a="$best" -v b="$t" 'BEGIN { print (a == "" || b < a) ? b : a }')
  done
  echo "$best"
}

null4k=$(ffmpeg_best "$tmp/pair4k.rgb" 7680x2160 null)
argg4k=$(ffmpeg_best "$tmp/pair4k.rgb" 7680x2160 stereo3d=sbsl:argg)
null1080=$(ffmpeg_best "$tmp/pair1080.rgb" 3840x1080 null)
argg1080=$(ffmpeg_best "$tmp/pair1080.rgb" 3840x1080 stereo3d=sbsl:argg)
arcd1080=$(ffmpeg_best "$tmp/pair1080.rgb" 3840x1080 stereo3d=sbsl:arcd)

# End to end on a moving side-by-side clip.
ffmpeg -hide_banner -nostdin -loglevel error -f lavfi \
  -i "testsrc2=size=3840x1080:rate=30,format=yuv420p" -frames:v "$FRAMES" -c:v libx264 \
  -crf 18 "$tmp/clip_sbs.mp4"
ours_e2e=$(wall_best "$loomhost" --plugins "$plugins" anaglyph "$tmp/clip_sbs.mp4" \
  --layout sbs-left --codec h264 --crf 23 -o "$tmp/ours.mp4")
ffmpeg_e2e=$(wall_best ffmpeg -hide_banner -nostdin -y -i "$tmp/clip_sbs.mp4" \
  -vf stereo3d=sbsl:arcd -c:v libx264 -crf 23 -pix_fmt yuv420p "$tmp/ffmpeg.mp4")
# The grey red/green anaglyph is the picture closest to the filter's (the encoder's work
# depends on the picture).
ffmpeg_e2e_grey=$(wall_best ffmpeg -hide_banner -nostdin -y -i "$tmp/clip_sbs.mp4" \
  -vf stereo3d=sbsl:argg -c:v libx264 -crf 23 -pix_fmt yuv420p "$tmp/ffmpeg.mp4")

awk -v f="$FRAMES" -v runs="$RUNS" -v clock="$CLOCK" \
  -v render="$(rate "$tmp/ours4k.csv" BM_AnaglyphRender/real_time 8.2944)" \
  -v bound="$(rate "$tmp/ours4k.csv" BM_MemoryBound/real_time 8.2944)" \
  -v boundHuge="$(rate "$tmp/ours4k.csv" BM_MemoryBoundHugePages/real_time 8.2944)" \
  -v v8="$(rate "$tmp/ours1080.csv" BM_VideoCompose/8/1/real_time 2.0736)" \
  -v v16="$(rate "$tmp/ours1080.csv" BM_VideoCompose/16/1/real_time 2.0736)" \
  -v v8w="$(rate "$tmp/ours1080.csv" BM_VideoCompose/8/0/real_time 2.0736)" \
  -v v16w="$(rate "$tmp/ours1080.csv" BM_VideoCompose/16/0/real_time 2.0736)" \
  -v n4k="$null4k" -v g4k="$argg4k" -v n1080="$null1080" -v g1080="$argg1080" \
  -v c1080="$arcd1080" -v oe="$ours_e2e" -v fe="$ffmpeg_e2e" -v fg="$ffmpeg_e2e_grey" 'BEGIN {
  px4k = 3840 * 2160 / 1e6; px1080 = 1920 * 1080 / 1e6
  ff4k = f * px4k / (g4k - n4k)
  ffg = f * px1080 / (g1080 - n1080); ffc = f * px1080 / (c1080 - n1080)
  printf "%d frames, best of %d runs, %s time\n", f, runs, clock
  printf "3840x2160 dioptrix render:        %8.1f MP/s\n", render
  printf "3840x2160 ffmpeg stereo3d argg:   %8.1f MP/s  (best %.3f s, %.3f s of it reading input)\n", ff4k, g4k, n4k
  printf "3840x2160 memory bound (2R + 1W): %8.1f MP/s  (in huge pages: %.1f)\n", bound, boundHuge
  printf "1920x1080 video composition  8-bit: %8.1f MP/s  (as 16-bit RGBA: %.1f)\n", v8, v8w
  printf "1920x1080 video composition 16-bit: %8.1f MP/s  (as 16-bit RGBA: %.1f)\n", v16, v16w
  printf "1920x1080 ffmpeg stereo3d argg:     %8.1f MP/s\n", ffg
  printf "1920x1080 ffmpeg stereo3d arcd:     %8.1f MP/s\n", ffc
  printf "end to end, %d frames sbs H.264 -> H.264: loomhost %.2f s, ffmpeg arcd %.2f s, argg %.2f s\n", f, oe, fe, fg
  printf "ratios: render/ffmpeg argg %.2f, render/bound %.2f, ffmpeg/bound %.2f\n", render / ff4k, render / bound, ff4k / bound
  printf "        video 8-bit/argg %.2f, 8-bit/arcd %.2f, end-to-end ffmpeg/loomhost %.2f (argg %.2f)\n", v8 / ffg, v8 / ffc, fe / oe, fg / oe
  printf "        video 16-bit/bound %.2f (in huge pages %.2f; as 16-bit RGBA %.2f)\n", v16 / bound, v16 / boundHuge, v16w / bound
}'
