#!/usr/bin/env bash
# loomhost anaglyph against FFmpeg on the same side-by-side clip end to end, and what bounds
# both: the encoder alone on the anaglyph's frames.
#   1. A 10-second 3840 x 1080 side-by-side H.264 clip (testsrc2, crf 18) with AAC sound.
#   2. loomhost anaglyph --layout sbs-left --codec h264 --crf 23, and
#      ffmpeg -vf stereo3d=sbsl:arcd -c:v libx264 -crf 23 -pix_fmt yuv420p -c:a aac, in turns.
#   3. libx264 alone (crf 23, its defaults) on loomhost's output decoded to raw frames, with
#      the lookahead in the encoding threads' turn (sync-lookahead=0, as loomhost sets it so
#      that the same input gives the same file) and on a thread of its own (FFmpeg's default).
# Prints the best of RUNS wall times, the processor time of each best run, the cores kept
# busy, and the ratios, with the processor and the vector level.
# Usage: bench/dioptrix/whole_program.sh [BUILD]   (RUNS=3, SECONDS_LONG=10)
set -euo pipefail
BUILD=${1:-build-release}
RUNS=${RUNS:-3}
LENGTH=${SECONDS_LONG:-10}
loomhost="$BUILD/bin/loomhost"
[ -x "$loomhost" ] || { echo "build loomhost first ($loomhost)" >&2; exit 1; }
command -v ffmpeg > /dev/null || { echo "ffmpeg is not installed (scripts/install-deps.sh)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "the time program is not installed (Debian package time)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ffmpeg -hide_banner -nostdin -loglevel error -f lavfi -i "testsrc2=size=3840x1080:rate=25,format=yuv420p" \
  -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$LENGTH" -c:v libx264 -crf 18 \
  -c:a aac -b:a 128k -shortest "$tmp/sbs.mp4"

# Runs a command RUNS times; prints "wall cpu" of the run with the best wall time.
best() {
  local best="" line
  for _ in $(seq "$RUNS"); do
    /usr/bin/time -f "%e %U %S" -o "$tmp/time" "$@" > /dev/null 2>&1
    line=$(awk '{ print $1, $2 + $3 }' "$tmp/time")
    best=$(printf '%s\n%s\n' "$best" "$line" | awk 'NF { if (b == "" || $1 < w) { w = $1; b = $0 } } END { print b }')
  done
  echo "$best"
}

ours_cmd=("$loomhost" --plugins "$BUILD/plugins" anaglyph "$tmp/sbs.mp4" --layout sbs-left
  --codec h264 --crf 23 -o "$tmp/ours.mp4")
ffmpeg_cmd=(ffmpeg -hide_banner -nostdin -y -i "$tmp/sbs.mp4" -vf stereo3d=sbsl:arcd
  -c:v libx264 -crf 23 -pix_fmt yuv420p -c:a aac -b:a 128k "$tmp/ffmpeg.mp4")
# In turns, so that both see the same machine.
ours="" theirs=""
for _ in $(seq "$RUNS"); do
  ours=$(printf '%s\n%s\n' "$ours" "$(RUNS=1 best "${ours_cmd[@]}")" | awk 'NF { if (b == "" || $1 < w) { w = $1; b = $0 } } END { print b }')
  theirs=$(printf '%s\n%s\n' "$theirs" "$(RUNS=1 best "${ffmpeg_cmd[@]}")" | awk 'NF { if (b == "" || $1 < w) { w = $1; b = $0 } } END { print b }')
done

ffmpeg -hide_banner -nostdin -loglevel error -y -i "$tmp/ours.mp4" -f rawvideo -pix_fmt yuv420p "$tmp/frames.yuv"
size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=s=x:p=0 "$tmp/ours.mp4")
encode=(ffmpeg -hide_banner -nostdin -y -f rawvideo -pix_fmt yuv420p -s "$size" -r 25 -i "$tmp/frames.yuv"
  -c:v libx264 -crf 23)
sync=$(best "${encode[@]}" -x264-params sync-lookahead=0 "$tmp/x.mp4")
threaded=$(best "${encode[@]}" "$tmp/x.mp4")

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
# The widest vectors the processor offers (the codecs and loomhost take them unless
# LOOM_ISA caps loomhost's).
if grep -qw avx512f /proc/cpuinfo; then level=AVX-512; elif grep -qw avx2 /proc/cpuinfo; then level=AVX2; else level=SSE2; fi
[ -z "${LOOM_ISA:-}" ] || level="$level (LOOM_ISA=$LOOM_ISA)"
awk -v o="$ours" -v f="$theirs" -v s="$sync" -v t="$threaded" -v runs="$RUNS" -v cpu="$cpu" \
  -v level="${level:-unknown}" -v n="$LENGTH" -v cores="$(nproc)" 'BEGIN {
  split(o, O, " "); split(f, F, " "); split(s, S, " "); split(t, T, " ")
  printf "%s, %d cores, vector level %s; %d s clip, best of %d in turns\n", cpu, cores, level, n, runs
  printf "%-44s %7s %7s %6s\n", "", "wall s", "cpu s", "cores"
  printf "%-44s %7.2f %7.2f %6.2f\n", "loomhost anaglyph (grey)", O[1], O[2], O[2] / O[1]
  printf "%-44s %7.2f %7.2f %6.2f\n", "ffmpeg stereo3d=sbsl:arcd, AAC", F[1], F[2], F[2] / F[1]
  printf "%-44s %7.2f %7.2f %6.2f\n", "libx264 alone, lookahead in turn (loomhost)", S[1], S[2], S[2] / S[1]
  printf "%-44s %7.2f %7.2f %6.2f\n", "libx264 alone, lookahead threaded (ffmpeg)", T[1], T[2], T[2] / T[1]
  printf "ratios of wall time to ffmpeg: loomhost %.3f, its encoder alone %.3f\n", O[1] / F[1], S[1] / F[1]
}'
