#!/usr/bin/env bash
# Renders the gallery into out/. Each plug-in adds its part as scripts/demo.d/NN-name.sh,
# which may call the helpers below.
set -euo pipefail
BUILD=${BUILD:-build}
OUT=${OUT:-out}
LOOMHOST="$BUILD/bin/loomhost"
mkdir -p "$OUT"
# Every loomhost command is recorded (arguments separated by the unit separator) so that
# the gallery page can show each picture with the command line that made it.
COMMAND_LOG="$OUT/commands.log"
: > "$COMMAND_LOG"
loomhost() {
  (IFS=$'\x1f'; printf '%s\n' "$*") >> "$COMMAND_LOG"
  "$LOOMHOST" --plugins "$BUILD/plugins" "$@"
}
HOST=loomhost
# other OUTPUT PROGRAM ARGS...: runs another program (gegl, ffmpeg, melt) with this build's
# plug-ins for it, recorded as "other", the output and the command as shown.
other() {
  local output=$1
  shift
  local shown
  shown=$(printf '%q ' "$@")  # quoted as a shell would need it typed
  printf 'other\x1f%s\x1f%s\n' "$output" "${shown% }" >> "$COMMAND_LOG"
  "$@"
}

# poster VIDEO: its first frame as VIDEO_poster.jpg, which the page shows until it plays
# (skipped without FFmpeg's command).
poster() {
  local stem=${1%.*}
  if command -v ffmpeg > /dev/null; then
    ffmpeg -nostdin -v error -y -i "$1" -frames:v 1 -q:v 3 "${stem}_poster.jpg"
  fi
}

# render NAME CLASS [ARGS...]: colour and normal map, 256 x 256.
render() {
  local name=$1 cls=$2
  shift 2
  echo "  $name"
  $HOST render "$cls" -o "$OUT/$name.png" --size 256x256 --output color,normal "$@"
}

for part in "$(dirname "$0")"/demo.d/*.sh; do
  # shellcheck source=/dev/null
  source "$part"
done
python3 "$(dirname "$0")/gallery_page.py" "$OUT" "$COMMAND_LOG" --plugins "$BUILD/plugins.json"
echo "Gallery written to $OUT/ (open $OUT/index.html)"
