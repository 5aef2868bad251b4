#!/usr/bin/env bash
# The share of a stereo video's end-to-end time that alignment takes: a 1920 x 1080 clip
# of two shots (FFmpeg's testsrc2, then its mandelbrot), left and right views in two H.264
# files, the right view moved 6 rows down in the first shot and 4 up in the second.
# loomhost anaglyph composes it to H.264 (crf 23) as it is and with --align (the first pass
# reading the clip through, each shot estimated from its sample frames, every frame's right
# view resampled); the share is the difference over the aligned run's time. Each time is
# the best of RUNS runs; CLOCK=cpu counts processor time (user + system) instead of wall
# time, for a machine that other work keeps busy.
# Usage: bench/stereo/video_align_share.sh [BUILD]   (SECONDS_PER_SHOT=5, RUNS=3, CLOCK=wall|cpu)
set -euo pipefail
BUILD=${1:-build}
PER_SHOT=${SECONDS_PER_SHOT:-5}
RUNS=${RUNS:-3}
CLOCK=${CLOCK:-wall}
[ "$CLOCK" = wall ] || [ "$CLOCK" = cpu ] || { echo "CLOCK is wall or cpu" >&2; exit 1; }
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
make_view null null "$tmp/left.mp4"
make_view "pad=1920:1086:0:6,crop=1920:1080:0:0" "crop=1920:1076:0:4,pad=1920:1080:0:0" \
  "$tmp/right.mp4"

# The best of RUNS runs of loomhost anaglyph with the given options, in seconds.
best() {
  local best_time=""
  for _ in $(seq "$RUNS"); do
    /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$loomhost" --plugins "$plugins" anaglyph \
      "$tmp/left.mp4" "$tmp/right.mp4" --codec h264 -o "$tmp/out.mp4" --force "$@" \
      > "$tmp/stdout" 2> /dev/null
    local t
    t=$(awk -v clock="$CLOCK" '{ print clock == "cpu" ? $2 + $3 : $1 }' "$tmp/time")
    if [ -z "$best_time" ] || awk -v a="$t" -v b="$best_time" 'BEGIN { exit !(a < b) }'; then
      best_time=$t
    fi
  done
  echo "$best_time"
}
plain=$(best)
aligned=$(best --align --report "$tmp/report.json")
estimate=$(python3 -c 'import json,sys
shots = json.load(open(sys.argv[1]))["shots"]
print(sum(s["align_seconds"] for s in shots))
for s in shots:
    print("  shot %d: frames %d-%d, dy %.2f px, rotation %.3f deg, scale %.5f, %d matches" % (
        s["shot"], s["first_frame"], s["last_frame"], s["dy_px"], s["rotation_deg"], s["scale"],
        s["matches"]), file=sys.stderr)' "$tmp/report.json")
frames=$(ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets \
  -of csv=p=0 "$tmp/left.mp4")
echo "1920x1080, $frames frames in 2 shots, H.264 to H.264; best of $RUNS ($CLOCK seconds)"
awk -v p="$plain" -v a="$aligned" -v e="$estimate" 'BEGIN {
  printf "  composed as read: %.2f s\n  aligned:          %.2f s (estimating the shots %.2f s)\n", p, a, e
  printf "  alignment share:  %.1f %% of the aligned run (target at most 10 %%)\n", 100 * (a - p) / a
}'
