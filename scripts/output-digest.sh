#!/usr/bin/env bash
# Prints a digest of loomhost's output for a fixed list of commands: the whole gallery
# (renders, 16-bit PNGs, anaglyphs, viewports, calibration) and the text of eval, params,
# list and panel. Two builds whose digests match produce the same bytes, so a change that
# must not alter behaviour can be checked with:
#   scripts/output-digest.sh build-before > a; scripts/output-digest.sh build-after > b; diff a b
set -euo pipefail
BUILD=$(cd "${1:-build}" && pwd)
HOST="$BUILD/bin/loomhost --plugins $BUILD/plugins"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$(dirname "$0")/.."

OUT="$work/gallery" BUILD="$BUILD" scripts/demo.sh >/dev/null
# The demo's record of its commands, and the page that shows them, name the temporary folder.
sed -i "s|$work/||g" "$work/gallery/commands.log" "$work/gallery/index.html"

text() {
  local name=$1
  shift
  $HOST "$@" >"$work/$name.txt" 2>&1 || echo "exit $?" >>"$work/$name.txt"
}
# The build's texture plug-ins, from its plugins.json.
textures=$(python3 -c 'import json, sys
print(" ".join(p["name"] for p in json.load(open(sys.argv[1]))["plugins"] if p["kind"] == "texture"))' \
  "$BUILD/plugins.json")
for cls in $textures; do
  text "params-$cls" params "$cls"
  text "eval-$cls" eval "$cls" 0,0 0.25,0.75 0.5,0.5 0.9,0.1 --time 0.5
  text "eval-mono-$cls" eval "$cls" --mono 0.1,0.2 0.7,0.3
  text "eval-normal-$cls" eval "$cls" --normal 0.3,0.6 0.8,0.2
  text "panel-$cls" panel "$cls"
done
text list list
sed -i "s|$BUILD/||g" "$work/list.txt"  # the listing names plug-ins by path
$HOST render nimbra -o "$work/gallery/n16.png" --size 64x48 --set "Detail=7" >/dev/null
$HOST render fervix -o "$work/gallery/f.exr" --size 32x32 --output color,mono,normal >/dev/null

cd "$work"
find . -type f ! -name '*.exr' | LC_ALL=C sort | xargs sha256sum
# EXR headers carry no time stamp, but compare their pixels to stay independent of the writer.
for f in gallery/*.exr; do
  [ -f "$f" ] && printf '%s  %s\n' "$(oiiotool --dumpdata "$f" 2>/dev/null | sha256sum | cut -c1-64)" "$f"
done
