# Nimbra: defaults, a few looks, a nested map, the viewport bitmap, an animation and a
# scene saved, shown and rendered.
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
echo "  nimbra scene"
$HOST scene new "$OUT/nimbra_scene.loom" nimbra --entry clouds --force \
  --set Contrast=1.8 --key "V Shift@0=0" --key "V Shift@30=25"
$HOST scene show "$OUT/nimbra_scene.loom" > "$OUT/nimbra_scene.txt"
$HOST render --scene "$OUT/nimbra_scene.loom" -o "$OUT/nimbra_scene.png" --time 15
$HOST panel nimbra --click Cirrus > "$OUT/nimbra_panel.txt"
