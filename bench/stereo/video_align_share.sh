#!/usr/bin/env bash
# The share of a stereo video's end-to-end time that alignment takes: a 1920 x 1080 clip
# of two shots (FFmpeg's testsrc2, then its mandelbrot), left and right views in two H.264
# files, the right view moved 6 rows down in the first shot and 4 up in the second.
# loomhost anaglyph composes it to H.264 (crf 23) as it is and with --align (one pass: each
# shot estimated from its sample frames as it comes, every frame's right view resampled);
# the share is the difference over the aligned run's time. Each time is the best of RUNS
# runs, the two kinds of run taking turns; wall time, and processor time (user + system)
# for a machine that other work keeps busy. ROTATE=DEGREES turns the right view too (a
# rig's usual fault, which takes the resampler's general passes).
# Usage: bench/stereo/video_align_share.sh [BUILD]   (SECONDS_PER_SHOT=5, RUNS=3, ROTATE=0)
set -euo pipefail
BUILD=${1:-build}
PER_SHOT=${SECONDS_PER_SHOT:-5}
RUNS=${RUNS:-3}
ROTATE=${ROTATE:-0}
loomhost="$BUILD/bin/loomhost"
plugins="$BUILD/plugins"
[ -x "$loomhost" ] || { echo "build loomhost first ($loomhost)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "the time program is not installed (Debian package time)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# Each view: the two sources one after the other; the right one's rows moved per shot
# (padded at one edge, cut at the other).
shots="[0:v]format=yuv420p,setsar=1[a];[1:v]format=yuv420p,setsar=1[b]"
make_view() {
  ffmpeg -loglevel error -y \
    -f lavfi -i "testsrc2=size=1920x1080:rate=25:duration=$PER_SHOT" \
    -f lavfi -i "mandelbrot=size=1920x1080:rate=25:end_pts=1000,trim=duration=$PER_SHOT" \
    -filter_complex "$shots;[a]$1[a2];[b]$2[b2];[a2][b2]concat=n=2:v=1[v]" -map "[v]" \
    -c:v libx264 -crf 16 -pix_fmt yuv420p "$3"
}
load=$(cut -d" " -f1-3 /proc/loadavg)
turn=null
[ "$ROTATE" = 0 ] || turn="rotate=$ROTATE*PI/180"
make_view null null "$tmp/left.mp4"
make_view "pad=1920:1086:0:6,crop=1920:1080:0:0,$turn" \
  "crop=1920:1076:0:4,pad=1920:1080:0:0,$turn" "$tmp/right.mp4"

# One run of loomhost anaglyph with the given options; appends "wall cpu" seconds to FILE.
run() {
  local file=$1
  shift
  /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$loomhost" --plugins "$plugins" anaglyph \
    "$tmp/left.mp4" "$tmp/right.mp4" --codec h264 -o "$tmp/out.mp4" --force "$@" \
    > "$tmp/stdout" 2> /dev/null
  awk '{ print $1, $2 + $3 }' "$tmp/time" >> "$file"
}
for _ in $(seq "$RUNS"); do
  run "$tmp/plain"
  run "$tmp/aligned" --align --report "$tmp/report.json"
done
# The least of column COLUMN of FILE.
least() { sort -g -k"$2","$2" "$1" | head -1 | awk -v c="$2" '{ print $c }'; }
estimate=$(python3 -c 'import json,sys
shots = json.load(open(sys.argv[1]))["shots"]
print(sum(s["align_seconds"] for s in shots))
for s in shots:
    print("  shot %d: frames %d-%d, dy %.2f px, rotation %.3f deg, scale %.5f, %d matches" % (
        s["shot"], s["first_frame"], s["last_frame"], s["dy_px"], s["rotation_deg"], s["scale"],
        s["matches"]), file=sys.stderr)' "$tmp/report.json")
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets \
  -of csv=p=0 "$tmp/left.mp4")
echo "1920x1080, $frames frames in 2 shots, H.264 to H.264, right view turned $ROTATE deg; best of $RUNS"
echo "load average before: $load"
for column in 1 2; do
  awk -v p="$(least "$tmp/plain" $column)" -v a="$(least "$tmp/aligned" $column)" -v e="$estimate" \
    -v what="$([ $column = 1 ] && echo wall || echo processor)" 'BEGIN {
    printf "  %s time: composed as read %.2f s, aligned %.2f s (estimating the shots %.2f s): ", what, p, a, e
    printf "alignment %.1f %% of the aligned run (target at most 10 %%)\n", 100 * (a - p) / a
  }'
done
