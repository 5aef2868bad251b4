#!/usr/bin/env bash
# Renders the gallery into out/: every texture at its defaults and at settings that show
# what it does, colour and normal maps, viewport bitmaps and a short animation.
set -euo pipefail
BUILD=${BUILD:-build}
OUT=${OUT:-out}
HOST="$BUILD/bin/loomhost --plugins $BUILD/plugins"
mkdir -p "$OUT"

render() {  # name class [args...]
  local name=$1 cls=$2
  shift 2
  echo "  $name"
  $HOST render "$cls" -o "$OUT/$name.png" --size 256x256 --output color,normal "$@"
}

echo "Nimbra"
render nimbra_default nimbra
render nimbra_stormy nimbra --set Contrast=2.5 --set Density=1.1 --set "Detail=12" \
  --set "Cloud=0.95,0.95,0.9" --set "Sky=0.15,0.2,0.45"
render nimbra_streaks nimbra --set "U Scale=5" --set "V Scale=60" --set "U Waveform=80" \
  --set Softening=0.2
render nimbra_negative nimbra --set Positive=0 --set Negative=1 --set Contrast=3
render nimbra_nested nimbra --set "Sky=map:nimbra" --set "Sky.Sky=0.9,0.5,0.2" \
  --set "Sky.U Scale=60"
$HOST viewport nimbra -o "$OUT/nimbra_viewport.png" --size 64
echo "  nimbra_anim (frames 0-7)"
$HOST render nimbra -o "$OUT/nimbra_anim.png" --size 128x128 --frames 0-7 \
  --key "U Shift@0=0" --key "U Shift@7=7"

echo "Scene round trip"
$HOST scene new "$OUT/demo_scene.loom" nimbra --entry clouds --force \
  --set Contrast=1.8 --key "V Shift@0=0" --key "V Shift@30=25"
$HOST scene show "$OUT/demo_scene.loom" > "$OUT/demo_scene.txt"
$HOST render --scene "$OUT/demo_scene.loom" -o "$OUT/scene_clouds.png" --time 15

echo "Gallery written to $OUT/"
